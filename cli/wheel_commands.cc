// The logic of the firmware and check commands.
#include "cli/wheel_commands.h"

#include <cassert>

#include "cli/options.h"
#include "firmware/fit_check.h"
#include "firmware/reference_firmware.h"
#include "firmware/table_firmware.h"

namespace cli {
namespace {

// An option's complaint, or empty when the options are in range.
std::string OptionProblem(std::optional<int32_t> budget, double mhz) {
  if (const std::string c = OutOfRange(limits::kMhz, mhz); !c.empty()) {
    return "ledwheel: --mhz: " + c + "\n";
  }
  if (budget) {
    if (const std::string c = OutOfRange(limits::kBudget, *budget); !c.empty()) {
      return "ledwheel: --budget: " + c + "\n";
    }
  }
  return "";
}

}  // namespace

CommandOutput CheckCommand(const WheelFile& file, std::optional<int32_t> budget, double mhz,
                           firmware::Layout layout) {
  assert(file.led != nullptr && file.positions >= 1 && file.positions <= wheel::kMaxPositions);
  CommandOutput result;
  result.err = OptionProblem(budget, mhz);
  if (!result.err.empty()) {
    result.exit_code = kExitUsage;
    return result;
  }
  const firmware::TableFit table = firmware::CheckTableFit(file.positions, mhz);
  const firmware::Fit fragment = firmware::CheckFit(
      *file.led, file.positions, budget.value_or(firmware::kFragmentBudget), mhz);
  result.out = firmware::FitReport(table, fragment);
  const bool runs = layout == firmware::Layout::kTable ? table.Runs() : fragment.Runs();
  if (layout == firmware::Layout::kFragment) {
    result.err = firmware::WillNotRunWarning(fragment, Quoted(file.name));
  }
  result.exit_code = runs ? kExitOk : kExitWillNotRun;
  return result;
}

CommandOutput FirmwareCommand(const WheelFile& file, double mhz, firmware::Layout layout) {
  assert(file.led != nullptr && file.positions >= 1 && file.positions <= wheel::kMaxPositions);
  CommandOutput result;
  result.err = OptionProblem(std::nullopt, mhz);
  if (!result.err.empty()) {
    result.exit_code = kExitUsage;
    return result;
  }
  if (layout == firmware::Layout::kTable) {
    // Every picture of up to 500 positions fits the chip as a table.
    result.source = firmware::TableFirmware(*file.led, file.positions, mhz);
    return result;
  }
  const firmware::Fit fit =
      firmware::CheckFit(*file.led, file.positions, firmware::kFragmentBudget, mhz);
  result.err = firmware::WillNotRunWarning(fit, Quoted(file.name));
  // Past the page the fragment's jumps land in the wrong page: no firmware at all is better.
  if (!fit.Fits()) {
    result.exit_code = kExitWillNotRun;
    return result;
  }
  result.source = firmware::ReferenceFirmware(file.im_text(), file.positions, mhz);
  return result;
}

}  // namespace cli
