#pragma once
// The configurator's texts are 8-bit: they cross into Qt as Latin-1, except the two bytes A1 43
// (an ideographic full stop in the original code page), which become U+3002.

#include <QString>

#include <string>
#include <string_view>

namespace gui {

// toLocal8(fromLocal8(b)) == b for all bytes b, so values may pass through it unchanged too.
QString fromLocal8(std::string_view bytes);

// The inverse: U+3002 becomes A1 43, characters up to U+00FF their byte, anything else '?'.
std::string toLocal8(const QString& text);

} // namespace gui
