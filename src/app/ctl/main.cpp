// SPDX-License-Identifier: MIT
#include "app/ctl/CtlApp.h"
#include "platform/linux/ProgramFolder.h"

#include <filesystem>
#include <iostream>

int main(int argc, char** argv) {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::filesystem::path dir = ec ? std::filesystem::path(".") : exe.parent_path();
    std::vector<std::string> args(argv + 1, argv + argc);
    return krv::ctl::runCtl(args, krv::AppPathsForProgram(dir), std::cout, std::cerr);
}
