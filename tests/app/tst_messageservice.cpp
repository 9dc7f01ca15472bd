// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The real message boxes, answered by key as an operator would.
#include "app/messageservice.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace korvane;
using Answer = MessageService::Answer;

Q_DECLARE_METATYPE(korvane::MessageService::Answer)

namespace {

// Runs `act` on the box once it is up.
void whenBoxShows(std::function<void(QMessageBox*)> act)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            poll->deleteLater();
            act(box);
        }
    });
    poll->start(10);
}

} // namespace

class TestMessageService : public QObject
{
    Q_OBJECT

private slots:
    void questionAnswers_data();
    void questionAnswers();
    void interruptClosesTheOpenBoxAndEveryLaterOne();
};

void TestMessageService::questionAnswers_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<Answer>("expected");
    QTest::newRow("Return takes the default, Yes") << "Return" << Answer::Yes;
    QTest::newRow("Alt+N") << "Alt+N" << Answer::No;
    // Dismissing the question takes the answer that destroys nothing.
    QTest::newRow("Escape answers Yes") << "Escape" << Answer::Yes;
    QTest::newRow("the close button answers Yes") << "close" << Answer::Yes;
}

void TestMessageService::questionAnswers()
{
    QFETCH(QString, how);
    QFETCH(Answer, expected);

    QtMessageService messages;
    whenBoxShows([how](QMessageBox* box) {
        if (how == "close") {
            box->close();
        } else if (how == "Alt+N") {
            QTest::keyClick(box, Qt::Key_N, Qt::AltModifier);
        } else {
            QTest::keyClick(box, how == "Escape" ? Qt::Key_Escape : Qt::Key_Return);
        }
    });
    QCOMPARE(messages.ask(MessageService::Icon::Information, QStringLiteral("No File"), QStringLiteral("Append?")),
             expected);
}

void TestMessageService::interruptClosesTheOpenBoxAndEveryLaterOne()
{
    QtMessageService messages;
    whenBoxShows([&messages](QMessageBox*) { messages.interrupt(); });
    QCOMPARE(messages.ask(MessageService::Icon::Information, QStringLiteral("No File"), QStringLiteral("Append?")),
             Answer::Interrupted);
    // Not shown at all from now on: nothing would answer it.
    QCOMPARE(messages.notify(MessageService::Icon::Warning, QStringLiteral("No File"), QStringLiteral("Absent")),
             Answer::Interrupted);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

QTEST_MAIN(TestMessageService)
#include "tst_messageservice.moc"
