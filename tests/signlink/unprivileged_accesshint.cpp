// The hint after a search that found no sign because the ports refused to open for
// lack of rights. The superuser opens a device whatever its mode, so this program runs
// as an unprivileged user: ctest starts it through tests/support/run-unprivileged.

#include "discovery.h"
#include "ptyfixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace signlink;

void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

class AccessHint : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(::geteuid(), 0u) << "the superuser is never refused: run this program "
                                      "through tests/support/run-unprivileged";
        link_.setReadDelay(20);
        view_.showMessage = [this](const QString& text) { messages_ << text; };
    }
    // A pseudo-terminal on COMn that this user may not open (mode 000 on the tty).
    void addRefused(int n) {
        ports_.addSilent(n);
        char tty[PATH_MAX];
        ASSERT_NE(::realpath(ports_.path(n).c_str(), tty), nullptr);
        ASSERT_EQ(::chmod(tty, 0), 0);
    }
    static QString expectedHint(const std::string& device) {
        const passwd* pw = ::getpwuid(::getuid());
        return QStringLiteral("Нет прав на последовательные порты (например ") +
               QString::fromStdString(device) +
               QStringLiteral("). Добавьте пользователя в группу dialout: sudo usermod -aG "
                              "dialout ") +
               QString::fromLocal8Bit(pw ? pw->pw_name : "") +
               QStringLiteral(", затем войдите в систему заново.");
    }

    PtyPorts ports_;
    TCustomComPort port_;
    SignLink link_{port_};
    DiscoveryView view_;
    QStringList messages_;
};

TEST_F(AccessHint, RefusedPortsGiveTheHintWithTheFirstOneAfterTheNotFoundMessage) {
    addRefused(3);
    addRefused(5);
    ports_.addSilent(7); // opens, never answers: probed as ever

    runDiscovery(link_, view_);

    EXPECT_EQ(messages_, (QStringList{kNotFoundMessage, expectedHint(ports_.path(3))}));
    EXPECT_EQ(ports_.sign(7).countReceived("R0E"), 1);
    EXPECT_EQ(ports_.sign(3).countReceived("R0E"), 0);

    // A sign found elsewhere: only its message, no hint.
    ports_.addSign(9);
    messages_.clear();
    runDiscovery(link_, view_);
    EXPECT_EQ(messages_, QStringList{kFoundMessage + "COM9"});
}

TEST_F(AccessHint, NoPortsAtAllGiveNoHint) {
    runDiscovery(link_, view_);
    EXPECT_EQ(messages_, QStringList{kNotFoundMessage});
}

} // namespace
