// Turns received bytes into runs of plain text and recognised capabilities, by walking the sequence trie
// of a description one byte at a time. Its state lives across calls: a sequence split over several reads
// is recognised whole, and bytes that turn out not to belong to a sequence are passed on as text (or
// looked at again), never dropped.
#pragma once

#include "termcap_table.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace terminal {

struct CapabilityEvent {
    static constexpr int MaxParameters = 5;
    static constexpr int MaxAnyCharacters = 9;

    int capability = -1;                             // 0 .. CapabilityCount - 1
    std::array<int32_t, MaxParameters> parameters{}; // slots past parameterCount are 0
    int parameterCount = 0;
    std::array<uint8_t, MaxAnyCharacters> anyCharacters{};
    int anyCount = 0;
    uint8_t flags = 0; // FlagOneBased, FlagReversed
};

class RecogniserSink {
public:
    virtual ~RecogniserSink() = default;
    virtual void text(const uint8_t* data, size_t length) = 0;
    virtual void capability(const CapabilityEvent& event) = 0;
};

class SequenceRecogniser {
public:
    static constexpr size_t MaxSequence = 128;
    static constexpr int MaxDigits = 3;

    explicit SequenceRecogniser(std::shared_ptr<const TermcapTable> table);

    // Runs `data` through the recogniser. All text up to the last byte is delivered before the call
    // returns; only an unfinished sequence stays pending for the next call.
    void feed(const uint8_t* data, size_t length, RecogniserSink& sink);
    // Forgets any unfinished sequence.
    void reset();

    size_t pendingLength() const { return pendingLength_; }
    const std::shared_ptr<const TermcapTable>& table() const { return table_; }

private:
    struct Remembered {
        int capability = -1;
        uint8_t flags = 0;
        size_t resumeAt = 0; // index into the pending bytes where reading goes on
        int parameterCount = 0;
        int anyCount = 0;
    };

    void process(uint8_t byte);
    void stepCharacter(uint8_t byte);
    void remember(const TrieNode& node, size_t resumeAt);
    void fail();
    void abandon();
    void deliver(int capability, uint8_t flags, int parameterCount, int anyCount);
    void resetSequence(bool plainDigits);
    void pushBack(const uint8_t* bytes, size_t length);
    void addText(const uint8_t* bytes, size_t length);
    void flushText();

    std::shared_ptr<const TermcapTable> table_;
    const TermcapTable* trie_;
    RecogniserSink* sink_ = nullptr;

    uint8_t node_;
    std::array<uint8_t, MaxSequence> pending_{};
    size_t pendingLength_ = 0;
    bool inParameter_ = false;
    uint8_t parameterNode_ = NoNode;
    int digitCount_ = 0;
    int digitValue_ = 0;
    std::array<int32_t, CapabilityEvent::MaxParameters> parameters_{};
    int parameterCount_ = 0;
    std::array<uint8_t, CapabilityEvent::MaxAnyCharacters> anyCharacters_{};
    int anyCount_ = 0;
    Remembered remembered_;
    bool parameterTaken_ = false;
    bool plainDigits_ = false;

    // Bytes to be read again before new input.
    std::array<uint8_t, 2 * MaxSequence> replay_{};
    size_t replayPosition_ = 0;
    size_t replayLength_ = 0;

    std::array<uint8_t, 1024> text_{};
    size_t textLength_ = 0;
};

} // namespace terminal
