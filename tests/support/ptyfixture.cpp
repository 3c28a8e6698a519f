#include "ptyfixture.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace {
constexpr const char* kComDirVariable = "ZEMTA_COM_DIR";
}

PtyPorts::PtyPorts() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zemta-ports-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    dir_ = pattern;
    if (const char* previous = std::getenv(kComDirVariable))
        previousComDir_ = previous;
    ::setenv(kComDirVariable, dir_.c_str(), 1);
}

PtyPorts::~PtyPorts() {
    signs_.clear(); // each simulator stops and removes its link
    if (previousComDir_)
        ::setenv(kComDirVariable, previousComDir_->c_str(), 1);
    else
        ::unsetenv(kComDirVariable);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

signsim::SignSimulator& PtyPorts::addSign(int comNumber, signsim::SimOptions options) {
    remove(comNumber);
    auto sim = std::make_unique<signsim::SignSimulator>(std::move(options));
    sim->startPty(path(comNumber));
    return *(signs_[comNumber] = std::move(sim));
}

signsim::SignSimulator& PtyPorts::addSilent(int comNumber) {
    signsim::SimOptions options;
    options.faults.silent = true;
    return addSign(comNumber, std::move(options));
}

signsim::SignSimulator& PtyPorts::sign(int comNumber) {
    auto it = signs_.find(comNumber);
    if (it == signs_.end())
        throw std::out_of_range("no port COM" + std::to_string(comNumber));
    return *it->second;
}

void PtyPorts::remove(int comNumber) {
    signs_.erase(comNumber);
    std::error_code ignored;
    std::filesystem::remove(path(comNumber), ignored);
}

std::string PtyPorts::path(int comNumber) const {
    return dir_ + "/COM" + std::to_string(comNumber);
}
