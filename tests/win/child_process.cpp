// SPDX-License-Identifier: GPL-2.0-or-later
#include "child_process.h"

namespace hardsid::test {

ChildProcess::ChildProcess(const std::string& program, const std::string& arguments, const std::string& workFolder,
                           const std::string& outputPath) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const win32::UniqueFile output(::CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output) {
        return;
    }
    const std::string path = ProgramFolder() + program;
    std::string commandLine = "\"" + path + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    PROCESS_INFORMATION info{};
    if (::CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, workFolder.c_str(),
                         &startup, &info)) {
        ::CloseHandle(info.hThread);
        process_.reset(info.hProcess);
        id_ = info.dwProcessId;
    }
}

ChildProcess::~ChildProcess() {
    // A child that outlived its test must not outlive the test program.
    if (process_ && !Wait(0)) {
        ::TerminateProcess(process_.get(), 1);
        ::WaitForSingleObject(process_.get(), 5000);
    }
}

std::optional<DWORD> ChildProcess::Wait(DWORD milliseconds) {
    if (::WaitForSingleObject(process_.get(), milliseconds) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process_.get(), &code);
    return code;
}

} // namespace hardsid::test
