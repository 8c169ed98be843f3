// Decoding arbitrary bytes and encoding the text back must never invent a control character: a SUB, NUL,
// CR or LF that was not in the plan would cut or split it on the next load. And text that decoding gave
// must come back the same after one more save and load.
//
// The same input is also taken as UTF-16 text, as an editor could hand over anything to be saved.

#include "Cp932.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

bool isControl(char16_t c) { return c < 0x20 || c == 0x7F; }

[[noreturn]] void fail(const char *what, QByteArrayView input, char16_t unit = 0)
{
    std::fprintf(stderr, "fuzz_cp932_roundtrip: %s (U+%04X)\n  input: %s\n", what, unsigned(unit),
                 input.toByteArray().left(256).toHex(' ').constData());
    std::abort();
}

// Encoding text: if it succeeds, no control byte the text did not hold, and decoding gives the text back.
void checkEncode(QStringView text, QByteArrayView input)
{
    const std::optional<QByteArray> bytes = Cp932::encode(text);
    if (!bytes)
        return;
    std::array<bool, 0x80> inText{};
    for (const QChar c : text)
        if (c.unicode() < 0x80)
            inText[c.unicode()] = true;
    for (const char b : *bytes) {
        const auto u = static_cast<unsigned char>(b);
        if (isControl(u) && !inText[u])
            fail("encoding added a control byte", input, u);
    }
    if (Cp932::decode(*bytes) != text)
        fail("decoding what was encoded gives other text", input);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    std::array<bool, 256> inInput{};
    for (std::size_t i = 0; i < size; ++i)
        inInput[data[i]] = true;

    const QString text = Cp932::decode(input);
    if (text.size() > input.size())
        fail("more characters than bytes", input);
    for (const QChar c : text) {
        if (isControl(c.unicode()) && !inInput[c.unicode()])
            fail("decoding made a control character", input, c.unicode());
    }

    // The strict decoder agrees with the lenient one, and fails exactly when a byte was replaced.
    const std::optional<QString> strict = Cp932::decodeStrict(input);
    if (strict.has_value() == text.contains(QChar(0xFFFD)))
        fail("strict decoding disagrees on validity", input);
    if (strict && *strict != text)
        fail("strict decoding gives other text", input);

    const std::optional<QByteArray> bytes = Cp932::encode(text);
    if (bytes) {
        for (const char b : *bytes) {
            const auto u = static_cast<unsigned char>(b);
            if (isControl(u) && !inInput[u])
                fail("encoding the decoded text added a control byte", input, u);
        }
        if (Cp932::decode(*bytes) != text)
            fail("decode(encode(decode(x))) differs from decode(x)", input);
    } else if (strict) {
        // A plan that loaded without a fault must save again unchanged.
        fail("valid CP932 text cannot be encoded back", input);
    }

    QString utf16(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(utf16.data(), data, size / 2 * 2);
    checkEncode(utf16, input);
    return 0;
}
