#include "arguments.h"

#include <set>
#include <utility>

namespace cli {

namespace {

const std::pair<const char*, Command> kCommands[] = {
    {"ports", Command::Ports},
    {"find", Command::Find},
    {"read", Command::Read},
    {"write", Command::Write},
    {"verify", Command::Verify},
    {"brightness", Command::Brightness},
    {"effect", Command::Effect},
    {"journal", Command::Journal},
};

[[noreturn]] void fail(std::optional<Command> command, const QString& message) {
    throw UsageError{command, message};
}

QString quoted(const QString& text) {
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

bool isHelp(const QString& arg) {
    return arg == QLatin1String("-h") || arg == QLatin1String("--help");
}

bool isVerbose(const QString& arg) {
    return arg == QLatin1String("-v") || arg == QLatin1String("--verbose");
}

std::optional<Command> commandNamed(const QString& name) {
    for (const auto& [text, command] : kCommands)
        if (name == QLatin1String(text))
            return command;
    return std::nullopt;
}

// A digit string from lo to hi, written as such ("3", "10"; not "03" or "+3").
std::optional<int> wholeNumber(const QString& text, int lo, int hi) {
    if (text.isEmpty() || text.size() > 2 || (text.size() > 1 && text.front() == QLatin1Char('0')))
        return std::nullopt;
    int n = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        n = n * 10 + (c.unicode() - '0');
    }
    if (n < lo || n > hi)
        return std::nullopt;
    return n;
}

// A price is exactly three digits: the window pads a short entry with "0", but a script
// that writes "45" has most likely made a mistake.
bool isPrice(const QString& text) {
    if (text.size() != 3)
        return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

bool takesPort(Command command) {
    return command == Command::Read || command == Command::Write ||
           command == Command::Verify || command == Command::Brightness || command == Command::Effect;
}

// --journal FILE (or --journal=FILE), wherever it stands; true when args[i] was it.
bool journalFileOption(const QStringList& args, int& i, Invocation& result) {
    const QString& arg = args.at(i);
    QString file;
    if (arg == QLatin1String("--journal")) {
        if (i + 1 >= args.size())
            fail(result.command, QStringLiteral("--journal needs a file"));
        file = args.at(++i);
    } else if (arg.startsWith(QLatin1String("--journal="))) {
        file = arg.mid(10);
    } else {
        return false;
    }
    if (file.isEmpty())
        fail(result.command, QStringLiteral("--journal needs a file"));
    if (!result.journalFile.isEmpty())
        fail(result.command, QStringLiteral("--journal given twice"));
    result.journalFile = file;
    return true;
}

// The arguments of one command, taken one by one.
class CommandParser {
public:
    CommandParser(Command command, Invocation& result) : command_(command), result_(result) {}

    void take(const QStringList& args, int& i) {
        const QString& arg = args.at(i);
        if (arg.startsWith(QLatin1String("--"))) {
            const int eq = arg.indexOf(QLatin1Char('='));
            const QString name = eq < 0 ? arg : arg.left(eq);
            std::optional<QString> value;
            if (eq >= 0)
                value = arg.mid(eq + 1);
            option(name, value, args, i);
        } else if (arg.size() > 1 && arg.startsWith(QLatin1Char('-'))) {
            fail(command_, QStringLiteral("unknown option ") + quoted(arg));
        } else {
            positional(arg);
        }
    }

    void finish() {
        endUnusedList();
        switch (command_) {
        case Command::Write:
            if (result_.changes.empty())
                fail(command_, QStringLiteral("nothing to write: give ROW=PRICE or --unused ROW"));
            break;
        case Command::Verify:
            if (result_.changes.empty())
                fail(command_, QStringLiteral("nothing to verify: give ROW=PRICE or --unused ROW"));
            break;
        case Command::Brightness:
            if (!levelGiven_)
                fail(command_, QStringLiteral("give the brightness: auto or a level 0..9"));
            break;
        case Command::Effect:
            if (!intervalGiven_)
                fail(command_, QStringLiteral("--interval is required (0..9)"));
            break;
        default:
            break;
        }
    }

private:
    QString valueOf(const QString& name, const std::optional<QString>& inlineValue,
                    const QStringList& args, int& i) {
        if (inlineValue)
            return *inlineValue;
        if (i + 1 >= args.size())
            fail(command_, name + QStringLiteral(" needs a value"));
        // An option where the value belongs ("--port --json") is a slip, not a port named
        // "--json"; "-1" still reaches the value's own check.
        const QString& next = args.at(i + 1);
        if (next.size() > 1 && next.front() == QLatin1Char('-') && !next.at(1).isDigit())
            fail(command_, name + QStringLiteral(" needs a value, not the option ") + quoted(next));
        return args.at(++i);
    }

    void option(const QString& name, const std::optional<QString>& inlineValue,
                const QStringList& args, int& i) {
        endUnusedList();
        if (command_ == Command::Journal) {
            takeJournalOption(
                name, [&] { return valueOf(name, inlineValue, args, i); }, inlineValue.has_value(),
                result_);
            return;
        }
        if (name == QLatin1String("--port") && takesPort(command_)) {
            if (!result_.port.isEmpty())
                fail(command_, QStringLiteral("--port given twice"));
            result_.port = valueOf(name, inlineValue, args, i);
            if (result_.port.isEmpty())
                fail(command_, QStringLiteral("--port needs a port name"));
        } else if (name == QLatin1String("--json") && (command_ == Command::Read || takesRows()) &&
                   !inlineValue) {
            result_.json = true;
        } else if (name == QLatin1String("--dry-run") && command_ == Command::Write &&
                   !inlineValue) {
            result_.dryRun = true;
        } else if (name == QLatin1String("--unused") && takesRows()) {
            inUnusedList_ = true;
            unusedListLength_ = 0;
            if (inlineValue)
                unusedRow(*inlineValue);
        } else if (name == QLatin1String("--interval") && command_ == Command::Effect) {
            if (intervalGiven_)
                fail(command_, QStringLiteral("--interval given twice"));
            const QString value = valueOf(name, inlineValue, args, i);
            const std::optional<int> interval = wholeNumber(value, 0, 9);
            if (!interval)
                fail(command_, QStringLiteral("--interval must be 0..9, not ") + quoted(value));
            result_.interval = *interval;
            intervalGiven_ = true;
        } else if (name == QLatin1String("--effects") && command_ == Command::Effect) {
            if (effectsGiven_)
                fail(command_, QStringLiteral("--effects given twice"));
            effects(valueOf(name, inlineValue, args, i));
            effectsGiven_ = true;
        } else {
            fail(command_, QStringLiteral("unknown option ") + quoted(name));
        }
    }

    // write and verify: prices by row and rows not used.
    bool takesRows() const { return command_ == Command::Write || command_ == Command::Verify; }

    void positional(const QString& arg) {
        if (takesRows()) {
            if (arg.contains(QLatin1Char('='))) {
                endUnusedList();
                priceRow(arg);
            } else if (inUnusedList_) {
                unusedRow(arg);
            } else {
                fail(command_, QStringLiteral("expected ROW=PRICE, not ") + quoted(arg));
            }
        } else if (command_ == Command::Brightness && !levelGiven_) {
            levelGiven_ = true;
            if (arg == QLatin1String("auto"))
                return;
            result_.level = wholeNumber(arg, 0, 9);
            if (!result_.level)
                fail(command_,
                     QStringLiteral("the brightness is auto or 0..9, not ") + quoted(arg));
        } else {
            fail(command_, QStringLiteral("unexpected argument ") + quoted(arg));
        }
    }

    int row(const QString& text, const QString& arg) {
        const std::optional<int> n = wholeNumber(text, 1, 10);
        if (!n)
            fail(command_, QStringLiteral("ROW must be 1..10, not ") + quoted(arg));
        if (!named_.insert(*n).second) {
            const auto& changes = result_.changes;
            const bool priceAndUnused =
                inUnusedList_ ? changes.prices.count(*n) != 0 : changes.notUsed.count(*n) != 0;
            fail(command_, priceAndUnused
                               ? QStringLiteral("row %1 has a price and is marked --unused").arg(*n)
                               : QStringLiteral("row %1 is named twice").arg(*n));
        }
        return *n;
    }

    void priceRow(const QString& arg) {
        const int eq = arg.indexOf(QLatin1Char('='));
        const QString price = arg.mid(eq + 1);
        const int n = row(arg.left(eq), arg);
        if (!isPrice(price))
            fail(command_,
                 QStringLiteral("PRICE must be exactly three digits, not ") + quoted(arg));
        result_.changes.prices[n] = price.toLatin1();
    }

    void unusedRow(const QString& arg) {
        result_.changes.notUsed.insert(row(arg, arg));
        ++unusedListLength_;
    }

    void endUnusedList() {
        if (inUnusedList_ && unusedListLength_ == 0)
            fail(command_, QStringLiteral("--unused needs at least one ROW"));
        inUnusedList_ = false;
    }

    void effects(const QString& list) {
        std::set<int> seen;
        for (const QString& item : list.split(QLatin1Char(','))) {
            const std::optional<int> effect = wholeNumber(item, 1, 4);
            if (!effect)
                fail(command_, QStringLiteral("--effects lists effects 1..4 separated by "
                                              "commas, not ") +
                                   quoted(list));
            if (!seen.insert(*effect).second)
                fail(command_, QStringLiteral("--effects names effect %1 twice").arg(*effect));
            result_.effects.at(*effect - 1) = true;
        }
    }

    Command command_;
    Invocation& result_;
    std::set<int> named_; // write, verify: rows given a price or marked --unused
    bool inUnusedList_ = false;
    int unusedListLength_ = 0;
    bool levelGiven_ = false;
    bool intervalGiven_ = false;
    bool effectsGiven_ = false;
};

} // namespace

QString UsageError::line() const {
    const QString who = QStringLiteral("zemta-sign") +
                        (command ? QLatin1Char(' ') + commandName(*command) : QString());
    return who + QStringLiteral(": ") + message + QStringLiteral(" (see ") + who +
           QStringLiteral(" --help)");
}

Invocation parseArguments(const QStringList& args) {
    Invocation result;
    int i = 0;
    // Options of the tool itself come before the command (-v and --help also after it).
    for (; i < args.size() && args.at(i).startsWith(QLatin1Char('-')); ++i) {
        const QString& arg = args.at(i);
        if (isVerbose(arg))
            result.verbose = true;
        else if (isHelp(arg))
            result.help = true;
        else if (arg == QLatin1String("--version"))
            result.version = true;
        else if (journalFileOption(args, i, result))
            continue;
        else
            fail(std::nullopt, QStringLiteral("unknown option ") + quoted(arg));
    }
    if (i == args.size()) {
        if (result.help || result.version)
            return result;
        fail(std::nullopt, QStringLiteral("no command given"));
    }
    result.command = commandNamed(args.at(i));
    if (!result.command)
        fail(std::nullopt, QStringLiteral("unknown command ") + quoted(args.at(i)));

    // --help anywhere asks for the command's help, whatever else the line holds.
    for (int k = i + 1; k < args.size(); ++k)
        if (isHelp(args.at(k)))
            result.help = true;
    if (result.help)
        return result;

    CommandParser parser(*result.command, result);
    for (++i; i < args.size(); ++i) {
        if (isVerbose(args.at(i)))
            result.verbose = true;
        else if (!journalFileOption(args, i, result))
            parser.take(args, i);
    }
    parser.finish();
    return result;
}

QString commandName(Command command) {
    for (const auto& [text, c] : kCommands)
        if (c == command)
            return QLatin1String(text);
    return {};
}

} // namespace cli
