#pragma once

#include <string>
#include <vector>

namespace Tarolink {

// Orders port names the way people count: digit runs compare by value, so
// "/dev/ttyS2" comes before "/dev/ttyS10". Other characters compare as bytes.
bool naturalLess(const std::string& a, const std::string& b);

// Sorts names with naturalLess (stable).
void sortNatural(std::vector<std::string>& names);

// The order of the Windows driver's names: every "COM<digits>" name sorted by number
// (written back as "COM" + the number), then the names that do not start with "COM" in
// their given order. A name that starts with "COM" without being "COM<digits>" is dropped.
std::vector<std::string> reorderComNames(const std::vector<std::string>& names);

} // namespace Tarolink
