#include "Cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <array>
#include <cstdint>
#include <cstring>

namespace {

constexpr char16_t Replacement = u'\uFFFD';
constexpr char16_t Unmapped = 0; // table marker: not a valid CP932 character
constexpr char16_t NotAPair = 1; // pair table marker: the first byte stands alone, the second is read anew

bool isLead(std::uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool isTrail(std::uint8_t b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

// Decoding runs through a table filled once from ICU (through QStringDecoder). ICU alone is slow on
// large plans and has two habits we must not inherit: it maps the ASCII control bytes 0x1A, 0x1C and 0x7F
// onto each other (IBM's convention), and it turns invalid bytes into U+001A. ASCII therefore never goes
// through ICU, and ICU's answer counts only when it is one ordinary character.
struct DecodeTable {
    std::array<char16_t, 256> single{};        // bytes 0x80..0xFF that stand alone (half-width kana)
    // first << 8 | second, for every first byte 0x80..0xFF: NotAPair unless a lead and a trail byte, so
    // that the decoding loop needs one look-up and no range tests per character.
    std::array<char16_t, 256 * 256> pair{};

    DecodeTable()
    {
        QStringDecoder icu("CP932", QStringConverter::Flag::Stateless);
        auto one = [&icu](QByteArrayView bytes) -> char16_t {
            icu.resetState();
            const QString s = icu.decode(bytes);
            if (s.size() != 1)
                return Unmapped;
            const char16_t c = s.front().unicode();
            return (c == u'\x1A' || c == Replacement || c < 0x20) ? Unmapped : c;
        };
        for (int b = 0xA1; b <= 0xDF; ++b) {
            const char byte = char(b);
            single[b] = one(QByteArrayView(&byte, 1));
        }
        for (int lead = 0x80; lead <= 0xFF; ++lead) {
            for (int trail = 0; trail <= 0xFF; ++trail) {
                char16_t &c = pair[std::size_t(lead) << 8 | std::size_t(trail)];
                if (!isLead(std::uint8_t(lead)) || !isTrail(std::uint8_t(trail))) {
                    c = NotAPair;
                    continue;
                }
                const char bytes[2] = {char(lead), char(trail)};
                c = one(QByteArrayView(bytes, 2));
            }
        }
    }
};

const DecodeTable &table()
{
    static const DecodeTable t; // thread-safe, built on the first non-ASCII byte only
    return t;
}

// Returns the decoded text and whether every byte was valid.
QString decodeImpl(QByteArrayView bytes, bool *valid)
{
    const auto *p = reinterpret_cast<const std::uint8_t *>(bytes.data());
    const qsizetype n = bytes.size();
    QString out(n, Qt::Uninitialized); // never more characters than bytes
    char16_t *o = reinterpret_cast<char16_t *>(out.data());
    char16_t *const begin = o;
    bool ok = true;
    const DecodeTable *t = nullptr;
    qsizetype i = 0;
    while (i < n) {
        // ASCII, most of a plan's bytes, eight at a time.
        while (n - i >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            if (word & 0x8080808080808080u)
                break;
            for (int k = 0; k < 8; ++k)
                o[k] = p[i + k];
            o += 8;
            i += 8;
        }
        if (i == n)
            break;
        const std::uint8_t b = p[i];
        if (b < 0x80) {
            *o++ = b;
            ++i;
            continue;
        }
        if (!t)
            t = &table();
        if (i + 1 < n) {
            const char16_t c = t->pair[std::size_t(b) << 8 | p[i + 1]];
            if (c != NotAPair) {
                ok = ok && c != Unmapped;
                *o++ = c == Unmapped ? Replacement : c;
                i += 2;
                continue;
            }
        }
        // A lone byte: half-width kana, or an invalid byte (a lead without its trail stands for itself
        // and the next byte is read on its own, as Windows does).
        const char16_t c = t->single[b];
        ok = ok && c != Unmapped;
        *o++ = c == Unmapped ? Replacement : c;
        ++i;
    }
    out.truncate(o - begin);
    if (valid)
        *valid = ok;
    return out;
}

} // namespace

namespace Cp932 {

QString decode(QByteArrayView bytes)
{
    return decodeImpl(bytes, nullptr);
}

std::optional<QString> decodeStrict(QByteArrayView bytes)
{
    bool valid = false;
    QString text = decodeImpl(bytes, &valid);
    if (!valid)
        return std::nullopt;
    return text;
}

std::optional<QByteArray> encode(QStringView text)
{
    QByteArray out;
    out.reserve(text.size() * 2);
    QStringEncoder icu("CP932", QStringConverter::Flag::Stateless);
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i].unicode() < 0x80) {
            out.append(char(text[i].unicode()));
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < text.size() && text[end].unicode() >= 0x80)
            ++end;
        const QStringView run = text.sliced(i, end - i);
        icu.resetState();
        const QByteArray bytes = icu.encode(run);
        if (icu.hasError())
            return std::nullopt;
        // ICU answers some characters with a look-alike (a "fallback"); only an exact round trip is a
        // faithful encoding.
        bool valid = false;
        if (decodeImpl(bytes, &valid) != run || !valid)
            return std::nullopt;
        out.append(bytes);
        i = end;
    }
    return out;
}

QByteArray encodeMarkingInvalid(QStringView text)
{
    if (std::optional<QByteArray> exact = encode(text))
        return *exact;
    QByteArray out;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype width = (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ? 2 : 1;
        const std::optional<QByteArray> one = encode(text.sliced(i, width));
        out.append(one ? *one : QByteArray(1, '\xFF'));
        i += width;
    }
    return out;
}

} // namespace Cp932
