#include "accesshint.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace accesshint {

namespace {
// The login name of the user running the program; $USER when the user database does
// not know the user id.
QString loginName() {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name && *pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    if (const char* user = std::getenv("USER"); user && *user)
        return QString::fromLocal8Bit(user);
    return QStringLiteral("$USER");
}
} // namespace

bool lackOfRights(int systemCode) {
    return systemCode == EACCES || systemCode == EPERM;
}

QString text(const QString& refusedDevice) {
    return QStringLiteral("Нет прав на последовательные порты (например %1). Добавьте "
                          "пользователя в группу dialout: sudo usermod -aG dialout %2, "
                          "затем войдите в систему заново.")
        .arg(refusedDevice, loginName());
}

} // namespace accesshint
