#include "ptyfixture.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

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

UucpLockFile::UucpLockFile(const std::string& ttyPath) {
    std::string name = ttyPath.rfind("/dev/", 0) == 0 ? ttyPath.substr(5) : ttyPath;
    std::replace(name.begin(), name.end(), '/', '_');
    path = "/run/lock/LCK.." + name;
}

UucpLockFile::~UucpLockFile() {
    ::unlink(path.c_str());
}

std::string UucpLockFile::content() const {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void UucpLockFile::write(const std::string& content) const {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}
