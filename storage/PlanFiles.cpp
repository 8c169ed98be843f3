#include "PlanFiles.h"

#include "Cp932.h"

#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QRandomGenerator>

#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr qint64 BlockSize = 64 * 1024;

// The file name a plan name stands for, or nullopt when it is not a bare name in the current directory.
// The name is decoded before it is searched: in CP932 the byte 0x5C is also the second byte of many kanji
// (表 is 95 5C), so a byte-wise search for "\" would refuse good names.
std::optional<QString> bareName(QByteArrayView name)
{
    std::optional<QString> text = Cp932::decodeStrict(name);
    if (!text || text->isEmpty() || *text == u"." || *text == u"..")
        return std::nullopt;
    for (const QChar c : *text) {
        if (c == u'/' || c == u'\\' || c == u'\0')
            return std::nullopt;
#ifdef Q_OS_WIN
        if (c == u':') // a drive ("C:x.txt") or an alternate data stream
            return std::nullopt;
#endif
    }
    return text;
}

// Decided from the permission bits alone: root may open and delete anything, but a file that nobody may
// write to is one the user meant to keep as it is. On Windows Qt reports the read-only attribute here.
bool isReadOnly(const QFileInfo &info)
{
    constexpr QFileDevice::Permissions anyWrite =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return !(info.permissions() & anyWrite);
}

// Applies the reading rules to the bytes of one file, block by block.
class LineReader {
public:
    explicit LineReader(const std::function<void(QByteArrayView)> &onLine) : onLine_(onLine) {}

    // Returns false once a SUB byte has ended the content.
    bool feed(QByteArrayView block)
    {
        bool more = true;
        if (const void *sub = std::memchr(block.data(), 0x1A, std::size_t(block.size()))) {
            block = block.first(static_cast<const char *>(sub) - block.data());
            more = false;
        }
        while (!block.isEmpty()) {
            const void *lf = std::memchr(block.data(), '\n', std::size_t(block.size()));
            const qsizetype end = lf ? static_cast<const char *>(lf) - block.data() : block.size();
            const QByteArrayView segment = block.first(end);
            // The common case: a whole line inside one block, handed over without a copy. The CR of its
            // CR LF break is simply left out; any other CR, or a NUL, takes the byte-wise path.
            QByteArrayView text = segment;
            while (!text.isEmpty() && text.back() == '\r')
                text.chop(1);
            if (lf && line_.isEmpty() && !cut_ && isPlain(text)) {
                any_ = true;
                onLine_(text);
            } else {
                append(segment);
                if (lf) {
                    any_ = true;
                    endLine();
                }
            }
            block = block.sliced(lf ? end + 1 : end);
        }
        return more;
    }

    TLoadResult finish()
    {
        if (!any_)
            return TLoadResult::Empty;
        if (!line_.isEmpty())
            onLine_(line_);
        return TLoadResult::Loaded;
    }

private:
    static bool isPlain(QByteArrayView bytes)
    {
        const auto size = std::size_t(bytes.size());
        return !std::memchr(bytes.data(), '\r', size) && !std::memchr(bytes.data(), '\0', size);
    }

    void append(QByteArrayView segment)
    {
        for (const char c : segment) {
            if (c == '\r')
                continue;
            any_ = true;
            if (cut_)
                continue;
            if (c == '\0')
                cut_ = true;
            else
                line_.append(c);
        }
    }

    void endLine()
    {
        onLine_(line_);
        line_.clear();
        cut_ = false;
    }

    const std::function<void(QByteArrayView)> &onLine_;
    QByteArray line_; // the current line so far, CRs dropped, cut at a NUL
    bool cut_ = false;
    bool any_ = false; // some byte other than CR was read
};

// A plan is saved into a file of its own beside it, which then replaces the plan in one step: whenever the
// program stops, the plan is the old one or the new one, whole. The name marks the file as ours, so that
// one left by a save that was cut short can be removed without risk to the user's own files.
const QString SaveSuffix = QStringLiteral(".planner-save");

QString saveFileName(const QString &path, quint32 random)
{
    return path + u'.' + QString::number(random, 16).rightJustified(8, u'0') + SaveSuffix;
}

// Unbuffered, so that a short write (disk full, file size limit) shows in write()'s count.
bool createSaveFile(const QString &path, QFile &file)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        file.setFileName(saveFileName(path, QRandomGenerator::global()->generate()));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            return true;
        if (file.error() != QFileDevice::OpenError || !QFileInfo::exists(file.fileName()))
            return false; // not a clash of names: the directory refuses new files
    }
    return false;
}

// What the current user may do, rather than the file's own mode: not to be copied onto another file.
constexpr QFileDevice::Permissions UserPermissions =
    QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;

bool syncToDisk(QFile &file)
{
#ifdef Q_OS_WIN
    return _commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

std::filesystem::path fsPath(const QString &path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

// Saves of this plan that a crash or a kill cut short.
void removeUnfinishedSaves(const QString &path)
{
    const QString prefix = path + u'.';
    const qsizetype length = saveFileName(path, 0).size();
    const QStringList entries =
        QDir::current().entryList({u'*' + SaveSuffix}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &entry : entries) {
        if (entry.size() == length && entry.startsWith(prefix))
            QFile::remove(entry);
    }
}

} // namespace

QByteArray PlanFileName(QDate date)
{
    return QByteArray::number(date.year()) + QByteArray::number(date.month()).rightJustified(2, '0')
        + QByteArray::number(date.day()).rightJustified(2, '0') + ".txt";
}

QByteArray InputFileName(QByteArrayView yearText, QByteArrayView monthText, QByteArrayView dayText)
{
    QByteArray name;
    name.reserve(yearText.size() + monthText.size() + dayText.size() + 4);
    name.append(yearText).append(monthText).append(dayText).append(".txt");
    return name;
}

bool PlanHasText(QByteArrayView name)
{
    const std::optional<QString> path = bareName(name);
    if (!path)
        return false;
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.size() >= 1;
}

TLoadResult LoadPlanLines(QByteArrayView name, const std::function<void(QByteArrayView line)> &onLine)
{
    const std::optional<QString> path = bareName(name);
    if (!path)
        return TLoadResult::CannotOpen;
    const QFileInfo info(*path);
    if (info.exists() && isReadOnly(info))
        return TLoadResult::CannotOpen;
    QFile file(*path);
    // Read and write, as a plan being read is one the user may save again; a missing file is created empty.
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return TLoadResult::CannotOpen;

    LineReader reader(onLine);
    QByteArray block(BlockSize, Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(block.data(), BlockSize);
        if (got < 0)
            return TLoadResult::CannotOpen;
        if (got == 0 || !reader.feed(QByteArrayView(block.constData(), got)))
            break;
    }
    return reader.finish();
}

TLoadResult LoadPlanLines(QByteArrayView name, QList<QByteArray> &lines)
{
    return LoadPlanLines(name, [&lines](QByteArrayView line) { lines.append(line.toByteArray()); });
}

TStoreResult StorePlanLines(QByteArrayView name, const QList<QByteArray> &lines)
{
    const std::optional<QString> path = bareName(name);
    if (!path)
        return TStoreResult::CannotOpen;
    const QFileInfo info(*path);
    if (info.exists() && (info.isDir() || isReadOnly(info)))
        return TStoreResult::CannotOpen;

    QByteArray content;
    qsizetype size = 0;
    for (const QByteArray &line : lines)
        size += line.size() + 2;
    content.reserve(size);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            content.append("\r\n");
        content.append(lines[i]);
    }

    QFile temp;
    if (!createSaveFile(*path, temp))
        return TStoreResult::CannotOpen;
    const bool written = temp.write(content) == content.size() && syncToDisk(temp)
        && (!info.exists() || temp.setPermissions(info.permissions() & ~UserPermissions));
    temp.close();
    std::error_code error;
    if (!written || (std::filesystem::rename(fsPath(temp.fileName()), fsPath(*path), error), error)) {
        temp.remove();
        return TStoreResult::WriteFailed;
    }
    removeUnfinishedSaves(*path);
    return TStoreResult::Stored;
}

bool RemovePlanFile(QByteArrayView name)
{
    const std::optional<QString> path = bareName(name);
    if (!path)
        return false;
    const QFileInfo info(*path);
    if (!info.exists() || info.isDir() || isReadOnly(info))
        return false;
    return QFile::remove(*path);
}
