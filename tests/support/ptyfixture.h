#pragma once
// Test ports: pseudo-terminals named COMn in a temporary directory, with simulated signs.
//
//   PtyPorts ports;                       // ZEMTA_COM_DIR -> fresh temp dir
//   auto& sign = ports.addSign(3);        // a sign on COM3
//   ports.addSilent(5);                   // COM5 opens but never answers
//   ... run the code under test on "COM3" ...
//   EXPECT_EQ(sign.countReceived("R0E"), 1);

#include "signsim.h"

#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

namespace signsim {
// Test failures show a panel as the sign holds it.
inline void PrintTo(const PanelContent& panel, std::ostream* os) {
    *os << '"' << panel.price << "\" grade '" << panel.grade << "' flags " << int(panel.flags);
}
} // namespace signsim

// Owns a temporary COM directory (set as ZEMTA_COM_DIR for its lifetime) and the simulators on it.
class PtyPorts {
public:
    PtyPorts();
    ~PtyPorts(); // stops the simulators, restores ZEMTA_COM_DIR, removes the directory
    PtyPorts(const PtyPorts&) = delete;
    PtyPorts& operator=(const PtyPorts&) = delete;

    // A simulated sign on COMn (replaces one already there).
    signsim::SignSimulator& addSign(int comNumber, signsim::SimOptions options = {});
    // A pseudo-terminal on COMn that nobody answers on; it still records what reached it.
    signsim::SignSimulator& addSilent(int comNumber);
    // The simulator on COMn; throws std::out_of_range when there is none.
    signsim::SignSimulator& sign(int comNumber);
    // Removes COMn: stops its simulator and deletes the link.
    void remove(int comNumber);

    // $ZEMTA_COM_DIR/COMn (whether or not anything is there).
    std::string path(int comNumber) const;
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
    std::optional<std::string> previousComDir_;
    std::map<int, std::unique_ptr<signsim::SignSimulator>> signs_;
};

// The UUCP lock file of a tty as serial programs leave it: /run/lock/LCK.. and the path
// below /dev with "/" as "_" (/dev/pts/5: LCK..pts_5). Removed when the object goes.
struct UucpLockFile {
    explicit UucpLockFile(const std::string& ttyPath);
    ~UucpLockFile();
    std::string content() const; // empty when there is none
    void write(const std::string& content) const;
    std::string path;
};
