#pragma once

#include <QStringList>

namespace zq4::test {

// The 164 message labels in code order, written out as the display knows them, trailing spaces
// included: what `zq4 messages`, which prints MessageLabels, is held against.
// clang-format off
inline const QStringList kMessageLabels = {
    "000  CUSTOM", "001  UTC", "002  PLT UTC of T=0", "003  L-Count", "004  T-Count (DHMS)",
    "005  T-Count (Min Sec)", "006  T-Count (Sec)", "007  ALT First Motion", "008", "009",
    "010", "011", "012", "013", "014", "015", "016", "017", "018", "019", "020  Time In Hold ",
    "021  Time Until Restart", "022  Total Holdtime", "023  Holdtime Used",
    "024  Holdtime Remaining", "025  Window Used", "026  Window Remaining", "027", "028",
    "029  Start of Window", "030  End of Window", "031  Functional Time",
    "032  Local Time of Year", "033  Operation Number", "034  UTC Start of Operation", "035",
    "036", "037", "038", "039", "040", "041", "042", "043", "044", "045", "046", "047", "048",
    "049", "050", "051", "052", "053", "054", "055", "056", "057", "058", "059", "060", "061",
    "062", "063", "064", "065", "066", "067", "068", "069", "070", "071", "072", "073", "074",
    "075", "076", "077", "078", "079", "080", "081", "082", "083", "084", "085", "086", "087",
    "088", "089", "090", "091", "092", "093", "094", "095", "096", "097", "098", "099", "100",
    "101", "102", "103", "104", "105", "106", "107", "108", "109", "110", "111", "112", "113",
    "114", "115", "116", "117", "118", "119", "120", "121", "122", "123", "124", "125", "126",
    "127", "128", "129 (65)  UTC", "130 (66)  UTC OF T-0", "131 (67)  L COUNT",
    "132 (68)  T COUNT", "133 (69)  W COUNT", "134 (70)  FIRST MOTION", "135 (71)  W BROACH",
    "136 (72)  X COUNT", "137 (73)  ", "138 (74)  ", "139 (75)  X BROACH", "140 (76)",
    "141 (77)  Y COUNT", "142 (78)", "143 (79)  Y BROACH", "144 (80)", "145 (81)  Z COUNT",
    "146 (82)", "147 (83)  Z BROACH", "148 (84)  TIME IN HOLD", "149 (85)  RESTART IN",
    "150 (86)  TOTAL HOLD", "151 (87)  HTU", "152 (88)  HTA", "153 (89)  WINDOW USED",
    "154 (90)  WINDOW LEFT", "155 (91)  START OF HOLD", "156 (92)  UTC RESTART",
    "157 (93)  START WINDOW", "158 (94)  END WINDOW", "159 (95)  FUNCTIONAL",
    "160 (96)  LOCAL TIME", "161 (97)  OP STARTS AT", "162 (98)", "163 (99)"
};
// clang-format on

} // namespace zq4::test
