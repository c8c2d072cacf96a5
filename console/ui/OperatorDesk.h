#pragma once

#include "OnDuty.h"
#include "SignIn.h"

#include <QObject>

#include <memory>

class ChainCheck;
class QAction;
class QLabel;
class QMenu;
class QMainWindow;
class QProgressDialog;
class QTimer;
class QToolBar;
class UsageDatabase;

// Who is on duty at the console and what he may do: the sign-in at start and at a
// shift change, the owner's PIN asked for an owner's step, the operators' list,
// voids, and the checks of the book's chain with the banner that stays until the
// owner acknowledges what they found. Without an owner it stays out of the way:
// the system user is on duty with every right.
class OperatorDesk : public QObject
{
    Q_OBJECT

public:
    OperatorDesk(UsageDatabase &database, QMainWindow &window);
    ~OperatorDesk() override;

    const OnDuty &onDuty() const { return m_onDuty; }

    // Asks who is on duty where operators are set up; false when nobody signed in.
    bool signInAtStart();
    // The items of the Werkzeuge menu.
    void addMenuItems(QMenu *tools);
    // Whether the step may be taken: by the one on duty, or by the owner's PIN asked
    // for now.
    bool allows(OnDuty::Step step);
    // Checks the chain from where the last start's check got to.
    void checkChainAtStart();

signals:
    void onDutyChanged(const OnDuty &onDuty);

private:
    void setOnDuty(const OnDuty &onDuty);
    bool signIn();
    void addGuardedItems();
    void changeShift();
    void showOperators();
    void voidRecord();
    void checkWholeChain();
    void stepWholeCheck();
    void noteFindings(const QStringList &findings);
    void makeBanner();
    void showBanner();
    void acknowledge();
    QString askOwnerPin(const QString &why);

    UsageDatabase &m_database;
    QMainWindow &m_window;
    SignIn m_signIn;
    OnDuty m_onDuty;
    QToolBar *m_banner = nullptr;
    QLabel *m_bannerText = nullptr;
    QMenu *m_tools = nullptr;
    QAction *m_shiftAction = nullptr;
    std::unique_ptr<ChainCheck> m_wholeCheck;
    QProgressDialog *m_progress = nullptr;
    QTimer *m_checkTimer = nullptr;
};
