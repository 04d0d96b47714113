#pragma once
// Two lines of the Minor Planet Center's orbit file as it published them
// (epoch 2025 May 5), for the checks' tests.
#include <string>

namespace testsupport {

inline const std::string kCeres =
    "00001    3.34  0.15 K2555 188.70269   73.27343   80.25221   10.58780  0.0794013  0.21424651   2.7660512  0 "
    "E2024-V47  7330 125 1801-2024 0.80 M-v 30k MPCLINUX   4000      (1) Ceres              20241101";
inline const std::string kPallas =
    "00002    4.11  0.15 K2555 165.79153  310.93408  172.88675   34.92905  0.2305235  0.21334138   2.7705424  0 "
    "E2024-T19  8874 123 1804-2024 0.71 M-c 28k MPCLINUX   4000      (2) Pallas             20241017";

} // namespace testsupport
