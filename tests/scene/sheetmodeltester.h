#pragma once

// QAbstractItemModelTester over one of the sheet's table models, for as long
// as it lives, with what the tester reports collected instead of printed.

#include <QAbstractItemModelTester>
#include <QMessageLogContext>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <utility>

class SheetModelTester
{
public:
    // The tester's first checks, of the model as it stands, are printed: a
    // test collects only what its edits bring.
    explicit SheetModelTester(QAbstractItemModel *model)
        : m_tester(model, QAbstractItemModelTester::FailureReportingMode::Warning)
    {
        failures().clear();
        m_previousHandler = qInstallMessageHandler(collect);
    }

    ~SheetModelTester() { qInstallMessageHandler(m_previousHandler); }

    SheetModelTester(const SheetModelTester &) = delete;
    SheetModelTester &operator=(const SheetModelTester &) = delete;

    // Each failure once, leaving out those that every table of the sheet
    // brings: the model gives no index to cells that have no place on the
    // sheet (rows past a layer's last cell, frames without sound), which the
    // tester takes for a fault.
    QStringList unexpectedFailures() const
    {
        static const QRegularExpression cellWithoutIndex(
            QStringLiteral("^FAIL! (a|index|topIndex1?|secondLevelIndex|model->index\\(0, 0\\))\\.isValid\\(\\) "));
        QStringList unexpected;
        for (const QString &failure : std::as_const(failures())) {
            if (!cellWithoutIndex.match(failure).hasMatch() && !unexpected.contains(failure))
                unexpected << failure;
        }
        return unexpected;
    }

private:
    // A message handler is a plain function, so the list it fills is shared.
    static QStringList &failures()
    {
        static QStringList list;
        return list;
    }

    static void collect(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        Q_UNUSED(type);
        if (qstrcmp(context.category, "qt.modeltest") == 0 && message.startsWith(u"FAIL!"))
            failures() << message;
    }

    QAbstractItemModelTester m_tester;
    QtMessageHandler m_previousHandler = nullptr;
};
