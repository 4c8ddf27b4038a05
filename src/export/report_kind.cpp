#include "export/report_kind.h"

namespace zavelo::exporting {

// reportKind() finds a kind's row by its value: the rows stand in the order of the enum.
static_assert([] {
  for (std::size_t i = 0; i < kReportKinds.size(); ++i)
    if (static_cast<std::size_t>(kReportKinds[i].kind) != i) return false;
  return true;
}());

}  // namespace zavelo::exporting
