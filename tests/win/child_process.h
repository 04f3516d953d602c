// SPDX-License-Identifier: GPL-2.0-or-later
// Another program of the build run as a child: started from this program's folder, its
// output in a file, waited for with a limit.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "program_files.h"
#include "win32/unique_handle.h"

namespace hardsid::test {

class ChildProcess {
public:
    /// Starts <program folder>\program with the arguments in workFolder; standard output and
    /// error go to outputPath. The environment is this process's. Check Started().
    ChildProcess(const std::string& program, const std::string& arguments, const std::string& workFolder,
                 const std::string& outputPath);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const noexcept { return static_cast<bool>(process_); }
    DWORD Id() const noexcept { return id_; }
    /// The exit code, or nothing when it has not ended within the limit.
    std::optional<DWORD> Wait(DWORD milliseconds);

private:
    win32::UniqueFile process_;
    DWORD id_ = 0;
};

} // namespace hardsid::test
