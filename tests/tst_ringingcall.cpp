// A ringing call's timing beside the screening decision, on a clock the test steps: when the
// window comes forward, when a blocked call's rings stay silent, when "Hang up" may act.
#include "SteppedTicks.h"
#include "calls/RingingCall.h"
#include "modem/CallerId.h"
#include "modem/ModemControl.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestRingingCall : public QObject
{
    Q_OBJECT
private slots:
    void timeline_data();
    void timeline();
};

void TestRingingCall::timeline_data()
{
    // Steps: "ring", "known" / "blocked" (a record whose caller is let through or is on the
    // block list), "tick:<timer>" (that timer's time runs out), "hangup".
    // Expected: what came of each step, "forward" for the window brought forward, "hook" for an
    // attempt to hang up, "voice" for the call given to the voice line, "-" for nothing;
    // "ringing" / "quiet" after a step tells ringing(). The voice line takes the call when
    // `voice` says so.
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("treatment");
    QTest::addColumn<bool>("voice");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("expected");

    const int off = ScreeningOptions::Off;
    const int on = ScreeningOptions::BlockListed;
    const int hangUp = ScreeningOptions::HangUp;
    const int silence = ScreeningOptions::Silence;
    QTest::newRow("screening off: every ring brings the window forward")
        << off << hangUp << false << QStringList{"ring", "known", "ring"}
        << QStringList{"forward", "-", "forward"};
    QTest::newRow("screening on: the window waits for the caller")
        << on << hangUp << false << QStringList{"ring", "known", "ring"}
        << QStringList{"-", "forward", "-"};
    QTest::newRow("screening on: a ring without caller ID comes forward after its wait")
        << on << hangUp << false << QStringList{"ring", "ring", "tick:1"}
        << QStringList{"-", "-", "forward"};
    QTest::newRow("screening on: rings without caller ID wait from the first ring")
        << on << hangUp << false << QStringList{"ring", "ring", "ring", "once:1", "tick:1"}
        << QStringList{"-", "-", "-", "-", "forward"};
    QTest::newRow("a caller let through right after a blocked call is shown")
        << on << hangUp << false << QStringList{"ring", "blocked", "ring", "known", "off:0", "ring"}
        << QStringList{"-", "hook", "-", "forward", "-", "-"};
    QTest::newRow("a blocked caller is hung up on, and its further rings stay silent")
        << on << hangUp << false
        << QStringList{"ring", "blocked", "ring", "ring", "tick:0", "ring", "tick:1"}
        << QStringList{"-", "hook", "-", "-", "-", "-", "forward"};
    QTest::newRow("a blocked caller left ringing: silent, no hang-up")
        << on << silence << false << QStringList{"ring", "blocked", "ring", "tick:1"}
        << QStringList{"-", "-", "-", "-"};
    QTest::newRow("Hang up is a ring's business for one ring's time")
        << on << hangUp << false
        << QStringList{"quiet", "ring", "ringing", "tick:2", "quiet", "blocked", "ringing"}
        << QStringList{"-", "-", "-", "-", "-", "hook", "-"};
    QTest::newRow("announced: the voice line answers, its further rings stay silent")
        << on << int(ScreeningOptions::Announce) << true
        << QStringList{"ring", "blocked", "ring", "tick:1"} << QStringList{"-", "voice", "-", "-"};
    QTest::newRow("a fax tone without a voice modem: hung up on instead")
        << on << int(ScreeningOptions::Fax) << false << QStringList{"ring", "blocked", "ring"}
        << QStringList{"-", "hook", "-"};
}

void TestRingingCall::timeline()
{
    QFETCH(int, mode);
    QFETCH(int, treatment);
    QFETCH(bool, voice);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, expected);

    QTemporaryDir lists;
    CallScreen screen(lists.path(), lists.path() + "/imported");
    screen.setNumberPlan(NumberPlan(QStringLiteral("US"), QStringLiteral("613")));
    ScreeningOptions options;
    options.mode = ScreeningOptions::Mode(mode);
    options.treatment = ScreeningOptions::Treatment(treatment);
    options.hangUpDelay = 100;
    screen.setOptions(options);
    QFile blocked(lists.path() + "/blocked.txt");
    QVERIFY(blocked.open(QIODevice::WriteOnly));
    blocked.write("+16135550000\n");
    blocked.close();
    screen.watchLists();

    ModemControl modem; // never opened: a hang-up is attempted and fails at once
    QSignalSpy hookLines(&modem, &ModemControl::eventLine);
    RingingCall call(screen, modem);
    SteppedTicks* timers[3];
    for (int timer = 0; timer < 3; ++timer) {
        auto ticks = std::make_unique<SteppedTicks>(SteppedTicks::Once);
        timers[timer] = ticks.get();
        call.setTicks(RingingCall::Timer(timer), std::move(ticks));
    }
    QSignalSpy forward(&call, &RingingCall::bringForward);
    QList<ScreeningOptions::Treatment> voiced;
    call.setVoiceLine([&](ScreeningOptions::Treatment asked) {
        voiced << asked;
        return voice ? QStringLiteral("announced") : QString();
    });

    for (int i = 0; i < steps.size(); ++i) {
        const QString& step = steps[i];
        const qsizetype forwardBefore = forward.count();
        const qsizetype hookBefore = hookLines.count();
        const qsizetype voicedBefore = voiced.count();
        if (step == "ring") {
            call.ring();
        } else if (step == "known" || step == "blocked") {
            CallerId record;
            record.begun = true;
            record.number = record.e164 = step == "known" ? "+16135551234" : "+16135550000";
            const CallScreen::Verdict verdict = call.decide(record, [] { return false; });
            QCOMPARE(verdict.blocked, step == "blocked");
            QCOMPARE(verdict.treated, voice && verdict.blocked ? "announced" : "");
        } else if (step.startsWith("tick:")) {
            timers[step.mid(5).toInt()]->step();
        } else if (step.startsWith("off:")) {
            // The silence of the blocked call's rings is over.
            QVERIFY(!timers[step.mid(4).toInt()]->isActive());
        } else if (step.startsWith("once:")) {
            QCOMPARE(timers[step.mid(5).toInt()]->starts, 1);
        } else if (step == "ringing" || step == "quiet") {
            QVERIFY2(call.ringing() == (step == "ringing"), qPrintable(QString::number(i)));
        }
        QString happened = "-";
        if (forward.count() > forwardBefore)
            happened = "forward";
        else if (hookLines.count() > hookBefore || modem.hangingUp())
            happened = "hook";
        else if (voiced.count() > voicedBefore && voice)
            happened = "voice";
        QVERIFY2(happened == expected[i],
                 qPrintable(QString("step %1 (%2): %3").arg(i).arg(step, happened)));
        if (modem.hangingUp())
            QTRY_VERIFY(!modem.hangingUp());
    }
}

QTEST_GUILESS_MAIN(TestRingingCall)
#include "tst_ringingcall.moc"
