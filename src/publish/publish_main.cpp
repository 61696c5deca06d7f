// koru-publish: signs a server tree for KORU. `koru-publish TREE --key KEY`
// writes and signs files/koru/release.txt and signs the archive when needed;
// `koru-publish rotate TREE --key KEY --new PUB` writes the key chain's next link.
#include "BuildConfig.h"
#include "platform/runtime/RuntimeError.h"
#include "publish/PasswordPrompt.h"
#include "publish/Publisher.h"
#include "publish/SecretKey.h"
#include "update/install/EntryRules.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>
#include <sysexits.h>

namespace {

const char usage[] =
    "usage: koru-publish TREE --key SECRET.key [--expires 30d] [--serial N]\n"
    "                    [--installable [--program PATH]]\n"
    "       koru-publish rotate TREE --key OLD.key --new NEW.pub [--new NEXT.pub ...]\n"
    "Publishes TREE/files/ for KORU: lists every file KORU may fetch with its length\n"
    "and BLAKE2b-256 hash in files/koru/release.txt, signs it and vanto.zip with the\n"
    "minisign secret key, or writes the next link of the key chain (files/koru/keys/N.txt).\n"
    "  --expires N[d|h]  how long the list stays valid (default 30d)\n"
    "  --serial N        the list's serial (default: one above the tree's last)\n"
    "  --installable     mark vanto.zip as an image of VANTO's folder, which KORU\n"
    "                    may install (not for an archive holding a setup program)\n"
    "  --program PATH    with --installable: VANTO's program in the archive, relative\n"
    "                    to VANTO's folder (bin/vanto), so KORU sees VANTO running\n"
    "  --help            print this help and exit\n"
    "  --version         print the version and exit\n"
    "A protected key's password comes from KORU_PUBLISH_PASSWORD or the terminal.\n";

struct Command {
    bool rotate = false;
    QString tree;
    QString key;
    QStringList newKeys;
    qint64 expiresSeconds = 30 * 86400;
    std::optional<qint64> serial;
    bool installable = false;
    QByteArray program;
};

constexpr qint64 mostDuration = 100000;

std::optional<qint64> Duration(const QString& text) {
    bool ok = false;
    const qint64 count = text.chopped(text.isEmpty() ? 0 : 1).toLongLong(&ok);
    if (!ok || count <= 0 || count > mostDuration)
        return std::nullopt;
    if (text.endsWith(u'd'))
        return count * 86400;
    if (text.endsWith(u'h'))
        return count * 3600;
    return std::nullopt;
}

// Bad usage answers the usage, or `why` when it can say in a sentence what is wrong.
std::optional<Command> Parse(QStringList arguments, QByteArray& why) {
    Command command;
    if (!arguments.isEmpty() && arguments.first() == u"rotate") {
        command.rotate = true;
        arguments.removeFirst();
    }
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (!argument.startsWith(u'-')) {
            if (!command.tree.isEmpty())
                return std::nullopt;
            command.tree = argument;
        } else if (argument == u"--installable" && !command.rotate) {
            command.installable = true;
        } else if (!hasValue) {
            return std::nullopt;
        } else if (argument == u"--key") {
            command.key = arguments[++i];
        } else if (argument == u"--new" && command.rotate) {
            command.newKeys << arguments[++i];
        } else if (argument == u"--expires" && !command.rotate) {
            const std::optional<qint64> seconds = Duration(arguments[++i]);
            if (!seconds) {
                why = "--expires takes 1 to " + QByteArray::number(mostDuration) +
                      " days or hours, such as 30d or 12h, not \"" + arguments[i].toUtf8() + "\".";
                return std::nullopt;
            }
            command.expiresSeconds = *seconds;
        } else if (argument == u"--program" && !command.rotate) {
            command.program = QFile::encodeName(arguments[++i]);
            const QByteArray problem = EntryRules::ProgramProblem(command.program);
            if (!problem.isEmpty()) {
                why = "The program \"" + EntryRules::Shown(command.program) + "\" " + problem + '.';
                return std::nullopt;
            }
        } else if (argument == u"--serial" && !command.rotate) {
            bool ok = false;
            command.serial = arguments[++i].toLongLong(&ok);
            if (!ok || *command.serial <= 0)
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (command.tree.isEmpty() || command.key.isEmpty() ||
        (command.rotate && command.newKeys.isEmpty()) ||
        (!command.program.isEmpty() && !command.installable))
        return std::nullopt;
    return command;
}

QList<QByteArray> Run(const Command& command) {
    Publisher publisher(command.tree,
                        [&command] { return SecretKey::FromFile(command.key, PasswordPrompt); });
    if (!command.rotate)
        return publisher.Publish(QDateTime::currentDateTimeUtc().addSecs(command.expiresSeconds),
                                 command.serial, command.installable, command.program);
    QByteArray text;
    for (const QString& path : command.newKeys) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw RuntimeError(RuntimeErrors::invalidCall,
                               "The new key file " + QFile::encodeName(path) + " cannot be read (" +
                                   file.errorString().toUtf8() + ").",
                               "koru-publish");
        text += file.read(TrustedKeys::maximumSize + 1);
        if (!text.endsWith('\n'))
            text += '\n';
    }
    return publisher.Rotate(TrustedKeys::FromFileText(text, "The new key file"));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments == QStringList{QStringLiteral("--help")}) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (arguments == QStringList{QStringLiteral("--version")}) {
        std::puts("koru-publish " KORU_VERSION);
        return 0;
    }
    QByteArray why;
    const std::optional<Command> command = Parse(arguments, why);
    if (!command) {
        if (why.isEmpty())
            std::fputs(usage, stderr);
        else
            std::fprintf(stderr, "koru-publish: %s\n", why.constData());
        return EX_USAGE;
    }
    try {
        for (const QByteArray& line : Run(*command))
            std::printf("koru-publish: %s\n", line.constData());
    } catch (const RuntimeError& e) {
        // Our own refusals are whole sentences; the runtime's name the file.
        if (e.Source() == "koru-publish")
            std::fprintf(stderr, "koru-publish: %s\n", e.Description().constData());
        else
            std::fprintf(stderr, "koru-publish: %s: %s\n", e.Source().constData(),
                         e.Description().constData());
        return 1;
    }
    return 0;
}
