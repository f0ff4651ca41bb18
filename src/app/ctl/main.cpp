#include "app/ctl/CtlApp.h"

#include <filesystem>
#include <iostream>

int main(int argc, char** argv) {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::string dir = ec ? std::string(".") : exe.parent_path().string();
    std::vector<std::string> args(argv + 1, argv + argc);
    return krv::ctl::runCtl(args, dir, std::cout, std::cerr);
}
