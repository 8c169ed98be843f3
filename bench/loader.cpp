// Loads a plan file and decodes it to the text the editor shows, as opening a day does, and prints how
// long that took: the figure bench/run sets against iconv reading the same file.
//
// Usage: loader FILE [--text]
//   --text  also write the decoded text to stdout as UTF-8 (lines joined by LF), to check it is honest

#include "Cp932.h"
#include "PlanFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <optional>

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "--text") != 0)) {
        std::fprintf(stderr, "usage: loader FILE [--text]\n");
        return 2;
    }
    // Plans are read from the current directory by their bare names.
    const QFileInfo file(QFile::decodeName(argv[1]));
    const std::optional<QByteArray> name = Cp932::encode(file.fileName());
    if (!file.isFile() || !name || !QDir::setCurrent(file.absolutePath())) {
        std::fprintf(stderr, "loader: %s: no such plan file\n", argv[1]);
        return 2;
    }

    QElapsedTimer timer;
    timer.start();
    // The lines are gathered into one buffer and decoded in one pass: the lines never hold more bytes
    // than the file, and one decode call avoids a QString per line.
    QByteArray bytes;
    bytes.reserve(QFileInfo(file.fileName()).size());
    qsizetype lines = 0;
    const TLoadResult result = LoadPlanLines(*name, [&](QByteArrayView line) {
        if (lines++ > 0)
            bytes.append('\n');
        bytes.append(line);
    });
    const QString text = Cp932::decode(bytes);
    const qint64 nanoseconds = timer.nsecsElapsed();

    if (result == TLoadResult::CannotOpen) {
        std::fprintf(stderr, "loader: %s: cannot open\n", argv[1]);
        return 1;
    }
    std::fprintf(stderr, "%.6f s load+decode, %lld lines, %lld characters\n", double(nanoseconds) / 1e9,
                 static_cast<long long>(lines), static_cast<long long>(text.size()));
    if (argc == 3) {
        const QByteArray utf8 = text.toUtf8();
        if (std::fwrite(utf8.constData(), 1, std::size_t(utf8.size()), stdout) != std::size_t(utf8.size()))
            return 1;
    }
    return 0;
}
