#pragma once

namespace tkl::cli {

/// Exit statuses of every subcommand.
enum ExitStatus : int {
    Success = 0,      ///< done, nothing to report
    ProblemsFound = 1,///< the input was usable but something is wrong with it, or a download failed
    UnusableInput = 2,///< bad usage, unreadable file, unknown port, unusable network description
};

} // namespace tkl::cli
