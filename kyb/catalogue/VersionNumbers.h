#pragma once
#include <string>
#include <vector>

// Version texts such as "1.10.2" as lists of numbers. Empty parts (leading, trailing or doubled dots) are skipped.
// Each part converts like std::stoi: leading blanks and a sign are accepted and conversion stops at the first
// non-digit ("4b" gives 4). A part that does not begin with a number throws std::invalid_argument, one outside the
// int range std::out_of_range.
std::vector<int> splitVersion(const std::string& text);

// As splitVersion, but a part that does not convert counts 0 instead of throwing. For versions read from the
// registry, which must never end the run.
std::vector<int> splitVersionLeniently(const std::string& text);

// 1 when a is the greater version, -1 when b is, 0 when equal. A longer list with the same start is greater:
// 1.2 < 1.2.0, and 1.10 > 1.9.
int compareVersions(const std::vector<int>& a, const std::vector<int>& b);
