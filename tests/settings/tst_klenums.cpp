#include "kl.h"

#include <QMetaEnum>
#include <QSignalSpy>
#include <QTest>
#include <QVariant>

namespace {

QMetaEnum klEnum(const char *name)
{
    const QMetaObject &mo = KL::staticMetaObject;
    return mo.enumerator(mo.indexOfEnumerator(name));
}

// Carries a KL value through a queued connection, the way settings signals
// reach widgets on other threads.
class Emitter : public QObject
{
    Q_OBJECT
Q_SIGNALS:
    void gridTypeChanged(KL::GridType type);
};

} // namespace

class TestKLEnums : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void registrationOrder();
    void keyToValue_data();
    void keyToValue();
    void valueToKey_data();
    void valueToKey();
    void actionKeysArePositions();
    void travelsInVariantAndQueuedSignals();
};

void TestKLEnums::registrationOrder()
{
    const QStringList expected{"Action", "AnnotationPenType", "DrawCursorType", "DrawCursorOpacity",
                               "FitMode", "GridType", "GridStatus", "ThumbnailSize", "ToolPreset",
                               "ToolBarPosition", "TransparencyType"};
    QStringList names;
    for (int i = 0; i < KL::staticMetaObject.enumeratorCount(); ++i)
        names << QString::fromLatin1(KL::staticMetaObject.enumerator(i).enumName());
    QCOMPARE(names, expected);
    for (int i = 0; i < KL::staticMetaObject.enumeratorCount(); ++i)
        QVERIFY(KL::staticMetaObject.enumerator(i).isScoped());
}

void TestKLEnums::keyToValue_data()
{
    QTest::addColumn<QString>("enumeration");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<int>("value");

    QTest::newRow("Renaissance is grid type 4") << "GridType" << "Renaissance" << true << 4;
    QTest::newRow("lower case does not convert") << "GridType" << "fieldguide" << false << -1;
    QTest::newRow("upper case does not convert") << "ToolBarPosition" << "RIGHT" << false << -1;
    QTest::newRow("unknown position") << "ToolBarPosition" << "Middle" << false << -1;
    QTest::newRow("key of another enumeration") << "GridType" << "Right" << false << -1;
    QTest::newRow("FitModeIgnore") << "FitMode" << "FitModeIgnore" << true << 4;
    QTest::newRow("PasteDrawing") << "Action" << "PasteDrawing" << true << 22;
    QTest::newRow("FrameRate12_5") << "Action" << "FrameRate12_5" << true << 63;
    QTest::newRow("empty text") << "Action" << "" << false << -1;
}

void TestKLEnums::keyToValue()
{
    QFETCH(QString, enumeration);
    QFETCH(QString, key);
    QFETCH(bool, converts);
    QFETCH(int, value);

    const QMetaEnum me = klEnum(enumeration.toLatin1().constData());
    QVERIFY(me.isValid());
    bool ok = false;
    const int result = me.keyToValue(key.toLatin1().constData(), &ok);
    QCOMPARE(ok, converts);
    if (converts)
        QCOMPARE(result, value);
}

void TestKLEnums::valueToKey_data()
{
    QTest::addColumn<QString>("enumeration");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("key");

    QTest::newRow("transparency 4") << "TransparencyType" << 4 << "TransparencyWhite";
    QTest::newRow("tool preset 0") << "ToolPreset" << 0 << "Default";
    QTest::newRow("tool bar 1") << "ToolBarPosition" << 1 << "Right";
    QTest::newRow("action 0") << "Action" << 0 << "NoAction";
    QTest::newRow("action 116") << "Action" << 116 << "SlideMode";
    QTest::newRow("action 117") << "Action" << 117 << "AddClonesMode";
    QTest::newRow("action 202") << "Action" << 202 << "UIScale150";
    QTest::newRow("past the last action") << "Action" << 203 << "";
}

void TestKLEnums::valueToKey()
{
    QFETCH(QString, enumeration);
    QFETCH(int, value);
    QFETCH(QString, key);

    const QMetaEnum me = klEnum(enumeration.toLatin1().constData());
    QCOMPARE(QString::fromLatin1(me.valueToKey(value)), key);
}

void TestKLEnums::actionKeysArePositions()
{
    const QMetaEnum me = QMetaEnum::fromType<KL::Action>();
    QCOMPARE(me.keyCount(), 203);
    for (int i = 0; i < me.keyCount(); ++i)
        QCOMPARE(me.value(i), i);
}

void TestKLEnums::travelsInVariantAndQueuedSignals()
{
    const QVariant v = QVariant::fromValue(KL::TransparencyType::TransparencyDarkGrey);
    QCOMPARE(v.value<KL::TransparencyType>(), KL::TransparencyType::TransparencyDarkGrey);
    QCOMPARE(QString::fromLatin1(v.metaType().name()), QStringLiteral("KL::TransparencyType"));

    Emitter emitter;
    KL::GridType received = KL::GridType::FieldGuide;
    connect(&emitter, &Emitter::gridTypeChanged, this,
            [&received](KL::GridType type) { received = type; }, Qt::QueuedConnection);
    QSignalSpy spy(&emitter, &Emitter::gridTypeChanged);
    Q_EMIT emitter.gridTypeChanged(KL::GridType::Diagonals);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<KL::GridType>(), KL::GridType::Diagonals);
    QTRY_COMPARE(received, KL::GridType::Diagonals);

    QString printed;
    QDebug(&printed) << KL::GridType::Thirds;
    QVERIFY2(printed.contains(QLatin1String("Thirds")), qPrintable(printed));
}

QTEST_GUILESS_MAIN(TestKLEnums)
#include "tst_klenums.moc"
