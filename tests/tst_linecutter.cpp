#include "modem/LineCutter.h"

#include <QTest>

namespace {

QStringList texts(const QVector<LineCutter::Line>& lines)
{
    QStringList out;
    for (const LineCutter::Line& line : lines)
        out << line.text;
    return out;
}

const QByteArray callBlock = "RING\r\n\r\nDATE = 0321\r\nTIME = 1405\r\nNMBR = 6135551234\r\n"
                             "NAME = DOE JOHN\r\n\r\nRING\r\nunfinished";

} // namespace

class TestLineCutter : public QObject
{
    Q_OBJECT
private slots:
    void cutsAtCarriageReturnAndDropsLineFeeds();
    void chunksSplitAnywhereGiveTheSameLines();
    void overlongLineIsCappedAndCounted();
    void decodesUtf8OrBytes();
};

void TestLineCutter::cutsAtCarriageReturnAndDropsLineFeeds()
{
    LineCutter cutter;
    const QStringList lines = texts(cutter.feed(callBlock));
    QCOMPARE(lines, QStringList({"RING", "", "DATE = 0321", "TIME = 1405", "NMBR = 6135551234",
                                 "NAME = DOE JOHN", "", "RING"}));
    QCOMPARE(cutter.pending(), QByteArray("unfinished"));
    // A lone LF never ends a line; LFs inside a line vanish.
    QCOMPARE(texts(cutter.feed("\nA\nB\r")), QStringList({"unfinishedAB"}));
}

void TestLineCutter::chunksSplitAnywhereGiveTheSameLines()
{
    LineCutter whole;
    const QStringList expected = texts(whole.feed(callBlock));
    for (int first = 0; first <= callBlock.size(); ++first) {
        for (int second = first; second <= callBlock.size(); second += 7) {
            LineCutter cutter;
            QStringList lines = texts(cutter.feed(callBlock.left(first)));
            lines += texts(cutter.feed(callBlock.mid(first, second - first)));
            lines += texts(cutter.feed(callBlock.mid(second)));
            QCOMPARE(lines, expected);
            QCOMPARE(cutter.pending(), whole.pending());
        }
    }
    // One byte at a time.
    LineCutter bytewise;
    QStringList lines;
    for (const char byte : callBlock)
        lines += texts(bytewise.feed(QByteArray(1, byte)));
    QCOMPARE(lines, expected);
}

void TestLineCutter::overlongLineIsCappedAndCounted()
{
    LineCutter cutter;
    const QByteArray noise(LineCutter::MaxLine + 1000, 'x');
    for (int i = 0; i < noise.size(); i += 333)
        QVERIFY(cutter.feed(noise.mid(i, 333)).isEmpty());
    QCOMPARE(cutter.pending().size(), LineCutter::MaxLine);
    const QVector<LineCutter::Line> lines = cutter.feed("\rOK\r");
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0).text.size(), LineCutter::MaxLine);
    QCOMPARE(lines.at(0).dropped, 1000);
    // The next line starts clean.
    QCOMPARE(lines.at(1).text, "OK");
    QCOMPARE(lines.at(1).dropped, 0);

    // Kept to a whole character: a long UTF-8 name stays UTF-8, not Windows-1252.
    const QByteArray name = "NAME = " + QByteArray("\xc3\x89").repeated(5000) + '\r';
    const QVector<LineCutter::Line> cut = cutter.feed(name);
    QCOMPARE(cut.size(), 1);
    QCOMPARE(cut.at(0).text, "NAME = " + QString(QChar(0xC9)).repeated(2044));
    QCOMPARE(cut.at(0).dropped, name.size() - 1 - (7 + 2 * 2044));
}

void TestLineCutter::decodesUtf8OrBytes()
{
    QCOMPARE(LineCutter::decode("NAME = B\xc3\xa9LANGER"), QString::fromUtf8("NAME = BéLANGER"));
    // A Latin-1 byte that is not UTF-8 still arrives as its character.
    QCOMPARE(LineCutter::decode("NAME = B\xe9LANGER"), QString::fromUtf8("NAME = BéLANGER"));
    // Windows-1252 where Latin-1 has control codes: the apostrophe and the euro sign.
    QCOMPARE(LineCutter::decode("NAME = O\x92NEIL \x80"), QString::fromUtf8("NAME = O’NEIL €"));
    // A UTF-8 character split over two chunks is whole once the line is.
    LineCutter cutter;
    QVERIFY(cutter.feed("NAME = \xc3").isEmpty());
    QCOMPARE(texts(cutter.feed("\xa9\r")), QStringList({QString::fromUtf8("NAME = é")}));
}

QTEST_APPLESS_MAIN(TestLineCutter)
#include "tst_linecutter.moc"
