// Holds LoadPlanLines to the plain byte-at-a-time reading in PlanReaderModel.h, through a real file.
//
// The loader reads in 64 KiB blocks and hands whole lines over without a copy when it can, so the faults
// worth finding sit where a line, a CR, a NUL or a SUB meets a block seam. Inputs are small, so an input
// whose first byte has the top bit set is placed just after the first seam: the low six bits say how many
// bytes before it the content starts, and bit 0x40 chooses between one long line and short CR LF lines as
// the filler before it. Any other input is the file as it is.

#include "PlanFiles.h"
#include "PlanReaderModel.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr qsizetype Seam = 64 * 1024;
const char *const Name = "20030404.txt";

QByteArray fileBytes(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    if (input.isEmpty() || data[0] < 0x80)
        return input;
    const qsizetype fill = Seam - (data[0] & 0x3F);
    QByteArray bytes;
    bytes.reserve(fill + input.size());
    if (data[0] & 0x40) {
        while (bytes.size() < fill)
            bytes.append("10:00 plan, a line of ordinary length for a day's plan......\r\n");
        bytes.truncate(fill);
    } else {
        bytes.fill('x', fill);
    }
    return bytes + input.sliced(1);
}

std::string show(QByteArrayView s)
{
    return s.size() <= 64 ? s.toByteArray().toHex(' ').toStdString() : std::to_string(s.size()) + " bytes";
}

[[noreturn]] void fail(const char *what, const std::string &detail = {})
{
    std::fprintf(stderr, "fuzz_plan_reader: %s\n%s", what, detail.c_str());
    std::abort();
}

// Compares the loader's lines with the model's as they arrive, without keeping copies: past a seam an
// input can give a thousand lines.
class LineCheck {
public:
    explicit LineCheck(const std::vector<std::string> &want) : want_(want) {}

    void operator()(QByteArrayView line)
    {
        if (difference_.empty()) {
            if (count_ >= want_.size())
                difference_ = "  extra line " + std::to_string(count_) + ": " + show(line) + "\n";
            else if (QByteArrayView(want_[count_].data(), qsizetype(want_[count_].size())) != line)
                difference_ = "  line " + std::to_string(count_) + ":\n    loader: " + show(line)
                    + "\n    model:  " + show(QByteArrayView(want_[count_].data(), qsizetype(want_[count_].size())))
                    + "\n";
        }
        ++count_;
    }

    std::string verdict() const
    {
        if (!difference_.empty())
            return difference_;
        if (count_ != want_.size())
            return "  the loader gave " + std::to_string(count_) + " lines, the model " + std::to_string(want_.size())
                + "\n";
        return {};
    }

private:
    const std::vector<std::string> &want_;
    std::size_t count_ = 0;
    std::string difference_;
};

// Plans live in the current directory, so each input is tried in a scratch one (removed at exit). The
// fuzzer's own directory is restored afterwards: libFuzzer writes new inputs and crashes to paths that
// may be relative to it.
class InScratchDir {
public:
    InScratchDir() : previous_(QDir::currentPath())
    {
        static QTemporaryDir dir;
        if (!dir.isValid() || !QDir::setCurrent(dir.path())) {
            std::fprintf(stderr, "fuzz_plan_reader: no scratch directory\n");
            std::abort();
        }
    }
    ~InScratchDir() { QDir::setCurrent(previous_); }
    InScratchDir(const InScratchDir &) = delete;
    InScratchDir &operator=(const InScratchDir &) = delete;

private:
    QString previous_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const InScratchDir scratch;
    const QByteArray bytes = fileBytes(data, size);
    {
        QFile file(QString::fromLatin1(Name));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "fuzz_plan_reader: cannot write the plan file\n");
            std::abort();
        }
    }

    const PlanReaderResult want =
        ReadPlanModel(reinterpret_cast<const unsigned char *>(bytes.constData()), std::size_t(bytes.size()));
    LineCheck check(want.lines);
    const TLoadResult result = LoadPlanLines(Name, [&check](QByteArrayView line) { check(line); });

    if (result == TLoadResult::CannotOpen)
        fail("the plan file could not be opened");
    if ((result == TLoadResult::Empty) != want.empty)
        fail(want.empty ? "the loader says Loaded, the model Empty" : "the loader says Empty, the model Loaded");
    if (const std::string difference = check.verdict(); !difference.empty())
        fail("the lines differ", difference);

    // Loading opens the file for writing too; it must leave every byte as it was.
    QFile file(QString::fromLatin1(Name));
    if (!file.open(QIODevice::ReadOnly) || file.readAll() != bytes)
        fail("loading changed the file");
    return 0;
}
