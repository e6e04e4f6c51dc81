// The object names of the controls that keep their dialog control ids: the code names each control
// by these, and the tests find it by the same constant.
#pragma once

namespace halvic {

// Send Pattern: the pattern type.
inline constexpr char kIdcAsciiRadio[] = "1032";
inline constexpr char kIdcHexRadio[] = "1033";
inline constexpr char kIdcRangeRadio[] = "1034";
// The frame around the ASCII pattern line.
inline constexpr char kIdcPatternLineFrame[] = "1043";
inline constexpr char kIdcHexEdit[] = "1037";
inline constexpr char kIdcRangeStartEdit[] = "1038";
inline constexpr char kIdcRangeEndEdit[] = "1039";
// Send Pattern: the count.
inline constexpr char kIdcRepeatRadio[] = "1040";
inline constexpr char kIdcUntilBreakRadio[] = "1041";
inline constexpr char kIdcRepeatCountEdit[] = "1042";

// Transmit Pattern: the values it shows while the job runs.
inline constexpr char kIdcTransmitPort[] = "1047";
inline constexpr char kIdcTransmitPattern[] = "1044";
inline constexpr char kIdcTransmitCount[] = "1045";
inline constexpr char kIdcTransmitRepeatCount[] = "1046";

} // namespace halvic
