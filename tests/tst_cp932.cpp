#include "Cp932.h"

#include <QTest>

class TestCp932 : public QObject {
    Q_OBJECT

private slots:
    void mappings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("circled one") << QStringLiteral("①") << QByteArray("\x87\x40");
        QTest::newRow("full-width tilde U+FF5E") << QString(QChar(0xFF5E)) << QByteArray("\x81\x60");
        QTest::newRow("kanji with 5C second byte") << QStringLiteral("予表ソ") << QByteArray("\x97\x5C\x95\x5C\x83\x5C");
        QTest::newRow("half-width katakana") << QStringLiteral("ｱﾟ") << QByteArray("\xB1\xDF");
        QTest::newRow("ASCII unchanged") << QStringLiteral("a\\~ \t0") << QByteArray("a\\~ \t0");
        QTest::newRow("ASCII controls unchanged") << QString::fromLatin1("\x1a\x1c\x7f") << QByteArray("\x1a\x1c\x7f");
        QTest::newRow("hiragana and kanji") << QStringLiteral("予定は会議") << QByteArray("\x97\x5C\x92\xE8\x82\xCD\x89\xEF\x8B\x63");
        QTest::newRow("NEC and IBM duplicates decode alike") << QStringLiteral("纊") << QByteArray("\xFA\x5C");
        QTest::newRow("empty") << QString() << QByteArray();
    }
    void mappings()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(Cp932::decode(bytes), text);
        QCOMPARE(Cp932::decodeStrict(bytes), std::optional<QString>(text));
        QCOMPARE(Cp932::encode(text), std::optional<QByteArray>(bytes));
    }

    void unrepresentableIsAnError_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("emoji") << QStringLiteral("予定😀");
        QTest::newRow("e acute") << QStringLiteral("café");
        QTest::newRow("yen sign has only a look-alike") << QStringLiteral("¥");
        QTest::newRow("replacement character") << QString(QChar(0xFFFD));
        QTest::newRow("lone surrogate") << QString(QChar(0xD800));
    }
    void unrepresentableIsAnError()
    {
        QFETCH(QString, text);
        QCOMPARE(Cp932::encode(text), std::nullopt);
    }

    // What the user typed always gives bytes; a character CP932 lacks gives one that no file name accepts.
    void encodeMarkingInvalid()
    {
        QCOMPARE(Cp932::encodeMarkingInvalid(u"2003"), QByteArray("2003"));
        QCOMPARE(Cp932::encodeMarkingInvalid(u"予😀é0"), QByteArray("\x97\x5C\xFF\xFF" "0"));
        QCOMPARE(Cp932::decodeStrict(Cp932::encodeMarkingInvalid(u"😀")), std::nullopt);
    }

    // Invalid bytes become U+FFFD, never a control character; ICU would give SUB, which cuts a plan.
    void invalidBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        const QString r(QChar(0xFFFD));
        QTest::newRow("0x80") << QByteArray("a\x80" "b") << QString("a" + r + "b");
        QTest::newRow("0xA0 and 0xFD-0xFF") << QByteArray("\xA0\xFD\xFE\xFF") << QString(r + r + r + r);
        QTest::newRow("lead byte at the end") << QByteArray("x\x81") << QString("x" + r);
        QTest::newRow("lead byte before ASCII keeps the ASCII") << QByteArray("\x81 z") << QString(r + " z");
        QTest::newRow("lead byte before SUB keeps the SUB") << QByteArray("\x81\x1a") << QString(r + QChar(0x1A));
        QTest::newRow("unassigned pair") << QByteArray("\x85\x40") << r;
        QTest::newRow("ICU's substitute pair") << QByteArray("\xFC\xFC") << r;
    }
    void invalidBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(Cp932::decode(bytes), text);
        QCOMPARE(Cp932::decodeStrict(bytes), std::nullopt);
        // Saving the decoded text back is refused rather than done with a substitute byte.
        QCOMPARE(Cp932::encode(text), std::nullopt);
    }

    // Decoding every byte pair and encoding the result back never adds a control byte.
    void noRoundTripAddsAControl()
    {
        int valid = 0;
        for (int a = 0; a < 256; ++a) {
            for (int b = 0; b < 256; ++b) {
                const char raw[2] = {char(a), char(b)};
                const QByteArray bytes(raw, 2);
                const QString text = Cp932::decode(bytes);
                for (const QChar c : text) {
                    if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                        QVERIFY2(bytes.contains(char(c.unicode())), qPrintable(bytes.toHex()));
                }
                if (const auto back = Cp932::encode(text)) {
                    QCOMPARE(Cp932::decode(*back), text);
                    ++valid;
                }
            }
        }
        QVERIFY(valid > 30000); // most pairs of ASCII and kana, and the assigned double-byte codes
    }
};

QTEST_GUILESS_MAIN(TestCp932)
#include "tst_cp932.moc"
