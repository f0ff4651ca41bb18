// SPDX-License-Identifier: MIT
#include "app/ctl/CtlApp.h"
#include "app/ctl/CtlSystem.h"
#include "settings/AppFolders.h"

#include <iostream>

int main(int argc, char** argv) {
    krv::ctl::PrepareStandardStreams();
    const std::vector<std::string> args = krv::ctl::CommandLineArguments(argc, argv);
    const std::filesystem::path programFolder = krv::RunningProgramFolder();
    return krv::ctl::runCtl(
        args, programFolder, [&] { return krv::AppPathsForProgram(programFolder); }, krv::ctl::ThisSystem(), std::cout,
        std::cerr);
}
