#include "sequence_recogniser.h"

#include <cstring>

namespace terminal {

SequenceRecogniser::SequenceRecogniser(std::shared_ptr<const TermcapTable> table)
    : table_(table ? std::move(table) : std::make_shared<const TermcapTable>()), trie_(table_.get()),
      node_(trie_->root()) {}

void SequenceRecogniser::reset() {
    resetSequence(false);
    replayPosition_ = replayLength_ = 0;
    textLength_ = 0;
}

void SequenceRecogniser::feed(const uint8_t* data, size_t length, RecogniserSink& sink) {
    sink_ = &sink;
    size_t i = 0;
    for (;;) {
        if (replayPosition_ < replayLength_) {
            process(replay_[replayPosition_++]);
            continue;
        }
        if (i >= length)
            break;
        if (pendingLength_ == 0) {
            // Outside a sequence, hand whole runs of bytes that start none straight to the sink.
            size_t j = i;
            while (j < length && trie_->isPlainAtRoot(data[j]))
                ++j;
            if (j > i) {
                flushText();
                sink.text(data + i, j - i);
                i = j;
                continue;
            }
        }
        process(data[i++]);
    }
    flushText();
    sink_ = nullptr;
}

void SequenceRecogniser::process(uint8_t byte) {
    if (pendingLength_ == MaxSequence)
        abandon();
    pending_[pendingLength_++] = byte;
    const bool digit = byte >= '0' && byte <= '9';
    if (inParameter_) {
        if (digit) {
            if (++digitCount_ > MaxDigits) {
                abandon();
                return;
            }
            digitValue_ = digitValue_ * 10 + (byte - '0');
            return;
        }
        inParameter_ = false;
        if (parameterCount_ == CapabilityEvent::MaxParameters) {
            abandon();
            return;
        }
        parameters_[parameterCount_++] = digitValue_;
        parameterTaken_ = true;
        const TrieNode& parameter = trie_->node(parameterNode_);
        if (parameter.capability >= 0)
            remember(parameter, pendingLength_ - 1);
        node_ = parameter.child;
        if (node_ == NoNode) {
            fail();
            return;
        }
        stepCharacter(byte);
        return;
    }
    if (digit && !plainDigits_) {
        const uint8_t parameter = trie_->stepParameter(node_);
        if (parameter != NoNode) {
            inParameter_ = true;
            parameterNode_ = parameter;
            digitCount_ = 1;
            digitValue_ = byte - '0';
            return;
        }
    }
    stepCharacter(byte);
}

void SequenceRecogniser::stepCharacter(uint8_t byte) {
    const uint8_t n = trie_->stepCharacter(node_, byte);
    if (n == NoNode) {
        fail();
        return;
    }
    const TrieNode& node = trie_->node(n);
    if (node.kind == NodeKind::AnyCharacter) {
        if (anyCount_ == CapabilityEvent::MaxAnyCharacters) {
            abandon();
            return;
        }
        anyCharacters_[anyCount_++] = byte;
    }
    if (node.child == NoNode) {
        if (node.capability >= 0) {
            deliver(node.capability, node.capabilityFlags, parameterCount_, anyCount_);
            resetSequence(false);
        } else {
            fail();
        }
        return;
    }
    if (node.capability >= 0)
        remember(node, pendingLength_);
    node_ = node.child;
}

void SequenceRecogniser::remember(const TrieNode& node, size_t resumeAt) {
    remembered_ = {node.capability, node.capabilityFlags, resumeAt, parameterCount_, anyCount_};
}

void SequenceRecogniser::fail() {
    uint8_t again[MaxSequence];
    if (remembered_.capability >= 0) {
        // The longest complete sequence wins; what followed it is read again as new input.
        const Remembered r = remembered_;
        deliver(r.capability, r.flags, r.parameterCount, r.anyCount);
        const size_t n = pendingLength_ - r.resumeAt;
        std::memcpy(again, pending_.data() + r.resumeAt, n);
        resetSequence(false);
        pushBack(again, n);
        return;
    }
    if (parameterTaken_) {
        // Once more from the first byte, with the digits taken as plain characters.
        const size_t n = pendingLength_;
        std::memcpy(again, pending_.data(), n);
        resetSequence(true);
        pushBack(again, n);
        return;
    }
    // The bytes before the one that broke the sequence are text; that byte may start a new sequence.
    const size_t n = pendingLength_;
    if (n > 1) {
        addText(pending_.data(), n - 1);
        again[0] = pending_[n - 1];
        resetSequence(false);
        pushBack(again, 1);
    } else {
        addText(pending_.data(), n);
        resetSequence(false);
    }
}

void SequenceRecogniser::abandon() {
    addText(pending_.data(), pendingLength_);
    resetSequence(false);
}

void SequenceRecogniser::deliver(int capability, uint8_t flags, int parameterCount, int anyCount) {
    flushText();
    CapabilityEvent event;
    event.capability = capability;
    event.flags = flags;
    event.parameterCount = parameterCount;
    for (int i = 0; i < parameterCount; ++i)
        event.parameters[i] = parameters_[i];
    event.anyCount = anyCount;
    for (int i = 0; i < anyCount; ++i)
        event.anyCharacters[i] = anyCharacters_[i];
    sink_->capability(event);
}

void SequenceRecogniser::resetSequence(bool plainDigits) {
    node_ = trie_->root();
    pendingLength_ = 0;
    inParameter_ = false;
    parameterNode_ = NoNode;
    digitCount_ = digitValue_ = 0;
    parameterCount_ = 0;
    anyCount_ = 0;
    remembered_ = {};
    parameterTaken_ = false;
    plainDigits_ = plainDigits;
}

void SequenceRecogniser::pushBack(const uint8_t* bytes, size_t length) {
    if (replayPosition_ == replayLength_)
        replayPosition_ = replayLength_ = 0;
    if (length <= replayPosition_) {
        replayPosition_ -= length;
        std::memcpy(replay_.data() + replayPosition_, bytes, length);
        return;
    }
    const size_t rest = replayLength_ - replayPosition_;
    if (length + rest > replay_.size()) {
        // Cannot happen (the bytes read again are always a part of earlier ones), but never overrun.
        addText(bytes, length);
        return;
    }
    std::memmove(replay_.data() + length, replay_.data() + replayPosition_, rest);
    std::memcpy(replay_.data(), bytes, length);
    replayPosition_ = 0;
    replayLength_ = length + rest;
}

void SequenceRecogniser::addText(const uint8_t* bytes, size_t length) {
    if (textLength_ + length > text_.size())
        flushText();
    std::memcpy(text_.data() + textLength_, bytes, length);
    textLength_ += length;
}

void SequenceRecogniser::flushText() {
    if (textLength_ > 0 && sink_) {
        sink_->text(text_.data(), textLength_);
        textLength_ = 0;
    }
}

} // namespace terminal
