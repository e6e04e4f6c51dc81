// Keys to the port, the mouse selection and Copy.
#include "Cp437.h"
#include "HalvicDoc.h"
#include "HalvicView.h"
#include "KeyInput.h"
#include "seriallib.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>

namespace halvic {

namespace {

constexpr int VkF10 = 0x79;

bool isLeadByte(uint8_t byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

// Whether the byte at `position` starts a double-byte character, walking from the line's start.
bool IsDbcsLeadAt(std::span<const uint8_t> bytes, int position) {
    int i = 0;
    const int length = static_cast<int>(bytes.size());
    while (i < length && i <= position) {
        if (isLeadByte(bytes[static_cast<size_t>(i)])) {
            if (i == position)
                return true;
            i += 2;
        } else {
            ++i;
        }
    }
    return false;
}

} // namespace

void CHalvicView::writeToPort(const QByteArray& bytes, int times) {
    if (bytes.isEmpty() || !doc_.IsPortOpen())
        return;
    for (int i = 0; i < times; ++i)
        SerialWrite(doc_.activePort(), bytes.constData(), static_cast<int>(bytes.size()));
}

bool CHalvicView::focusNextPrevChild(bool) {
    return false; // Tab belongs to the terminal
}

// Keys belong to the terminal: the window area's own shortcuts (Ctrl+W, Ctrl+F4, Ctrl+F6) never take
// them. Keys with Alt are system keys: the menus and the Ctrl+Alt accelerators keep those.
bool CHalvicView::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride &&
        !(static_cast<QKeyEvent*>(event)->modifiers() & Qt::AltModifier)) {
        event->accept();
        return true;
    }
    return QAbstractScrollArea::event(event);
}

// Keys the terminal does not take are passed on, never used to scroll the view.
void CHalvicView::keyPressEvent(QKeyEvent* event) {
    if ((event->modifiers() & Qt::ControlModifier) && (event->modifiers() & Qt::AltModifier)) {
        event->ignore();
        return;
    }
    // A running transfer or pattern owns the line: typed bytes would break into its stream. The key
    // ends here, taken and dropped, instead of travelling on through the window's parents.
    if (busy_) {
        event->accept();
        return;
    }
    const int repeat = std::max(1, event->count());
    const TerminalSettings& settings = doc_.terminalSettings;
    if (settings.terminalType == 2) {
        QByteArray bytes = CharacterBytesOf(*event);
        if (bytes.isEmpty()) {
            event->ignore();
            return;
        }
        if (bytes == "\r") {
            switch (settings.enterCode) {
            case CodeCrLf:
                bytes = "\r\n";
                break;
            case CodeCr:
                break;
            case CodeLf:
                bytes = "\n";
                break;
            default:
                bytes.clear();
                break;
            }
        }
        writeToPort(bytes, 1);
        if (settings.localEcho && !bytes.isEmpty())
            OnRawData(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size()));
        if (doubleByte_)
            viewport()->update();
        event->accept();
        return;
    }
    const std::shared_ptr<const terminal::TermcapTable> table = doc_.binding.table;
    const int vk = VirtualKeyOf(event->key());
    if (vk != 0 && table && !terminal::TermcapTable::IsCharacterKey(vk)) {
        std::string keyString;
        if (table->GetKeyString(vk, keyString) == 1) {
            // F10 comes once per press, as a system key does.
            writeToPort(QByteArray::fromStdString(keyString), vk == VkF10 ? 1 : repeat);
            event->accept();
            return;
        }
        event->ignore();
        return;
    }
    QByteArray bytes = CharacterBytesOf(*event);
    if (bytes.isEmpty()) {
        event->ignore();
        return;
    }
    if (vk != 0 && table && terminal::TermcapTable::IsCharacterKey(vk)) {
        std::string keyString;
        if (table->GetKeyString(vk, keyString) == 1)
            bytes = QByteArray::fromStdString(keyString);
    }
    writeToPort(bytes, repeat);
    event->accept();
}

void CHalvicView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update(caretRect_);
}

void CHalvicView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update(caretRect_);
}

QPoint CHalvicView::cellAt(const QPoint& pos, bool endPoint) const {
    int line = firstVisibleLine() + pos.y() / charHeight_;
    int column = firstVisibleColumn() + pos.x() / charWidth_;
    if (endPoint && pos.y() <= 0)
        --line;
    if (endPoint && pos.x() <= 0)
        --column;
    auto state = doc_.screen->lock();
    const int bufferLines = std::max(1, state->bufferLines());
    const int columns = std::max(1, state->columns());
    line = std::clamp(line, 0, bufferLines - 1);
    // The end is exclusive, so it may stand after the last column.
    column = std::clamp(column, 0, endPoint ? columns : columns - 1);
    if (doubleByte_ && column > 0 && column < columns - 1 && IsDbcsLeadAt(state->lineChars(line), column - 1))
        ++column;
    return {column, line};
}

void CHalvicView::MarkSelection(bool on) {
    int startLine = anchorLine_, endLine = endLine_;
    if (startLine > endLine)
        std::swap(startLine, endLine);
    doc_.screen->lock()->MarkSelection(anchorColumn_, endColumn_, anchorLine_, endLine_, on);
    updateLines(startLine, endLine);
}

// The ends are absolute lines. Output that drops the oldest lines moves the text up under them, and a
// move inside the buffer (a region scroll, inserted lines, clearing) puts other text there: the ends
// follow the first, and the second, or text that left the buffer, ends the selection.
void CHalvicView::keepSelectionOnItsText() {
    bool dropped = false;
    {
        auto state = doc_.screen->lock();
        const int64_t shift = int64_t(state->discardedLines() - selectionDiscarded_);
        selectionDiscarded_ = state->discardedLines();
        if (!hasSelection() && !selecting_) {
            selectionMoves_ = state->textMoves();
            return;
        }
        anchorLine_ -= int(std::min<int64_t>(shift, state->bufferLines() + 1));
        endLine_ -= int(std::min<int64_t>(shift, state->bufferLines() + 1));
        dropped = state->textMoves() != selectionMoves_ || std::min(anchorLine_, endLine_) < 0;
        if (dropped && state->bufferLines() > 0)
            state->MarkSelection(0, state->columns(), 0, state->bufferLines() - 1, false);
    }
    if (!dropped)
        return;
    const bool had = hasSelection();
    anchorColumn_ = endColumn_ = 0;
    anchorLine_ = endLine_ = 0;
    selecting_ = false;
    viewport()->update();
    if (had)
        emit selectionChanged(false);
}

void CHalvicView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    keepSelectionOnItsText();
    const bool had = hasSelection();
    MarkSelection(false);
    const QPoint cell = cellAt(event->position().toPoint(), false);
    anchorColumn_ = endColumn_ = cell.x();
    anchorLine_ = endLine_ = cell.y();
    {
        auto state = doc_.screen->lock();
        selectionDiscarded_ = state->discardedLines();
        selectionMoves_ = state->textMoves();
    }
    selecting_ = true;
    if (had)
        emit selectionChanged(false);
}

void CHalvicView::mouseMoveEvent(QMouseEvent* event) {
    if (selecting_)
        keepSelectionOnItsText();
    if (!selecting_)
        return;
    MarkSelection(false);
    const QPoint pos = event->position().toPoint();
    const QPoint cell = cellAt(pos, true);
    endColumn_ = cell.x();
    endLine_ = cell.y();
    MarkSelection(true);
    const bool inside = pos.x() > charWidth_ && pos.x() < viewport()->width() - charWidth_ &&
                        pos.y() > charHeight_ && pos.y() < viewport()->height() - charHeight_;
    if (!inside)
        EnsureVisible(std::min(endColumn_, std::max(0, doc_.screen->lock()->columns() - 1)), endLine_);
    emit selectionChanged(hasSelection());
}

void CHalvicView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !selecting_) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    keepSelectionOnItsText();
    if (!selecting_)
        return;
    selecting_ = false;
    const QPoint cell = cellAt(event->position().toPoint(), true);
    if (cell != QPoint(endColumn_, endLine_)) {
        MarkSelection(false);
        endColumn_ = cell.x();
        endLine_ = cell.y();
        MarkSelection(true);
    }
    emit selectionChanged(hasSelection());
}

bool CHalvicView::hasSelection() const {
    return anchorColumn_ != endColumn_ || anchorLine_ != endLine_;
}

void CHalvicView::OnEditCopy() {
    keepSelectionOnItsText();
    if (!hasSelection())
        return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) {
        emit statusMessage(QStringLiteral("Copy Fail!\n"));
        return;
    }
    const std::string text = doc_.screen->lock()->CopyText(anchorColumn_, anchorLine_, endColumn_, endLine_);
    clipboard->setText(cp437Text(text.data(), text.size()));
}

} // namespace halvic
