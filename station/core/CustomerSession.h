#pragma once

#include "ClockTimer.h"
#include "Failure.h"

#include <QObject>
#include <QString>

#include <sys/types.h>

// The customer's session on this PC: every process of the account the customers
// use, which Client.ini names. Ending it asks each process to end, and a moment
// later kills what is left; where Client.ini asks for it, the account's home is
// then made anew from the template and whatever started meanwhile is ended too.
// The display manager's automatic login brings a fresh desktop up under the cover.
// Only an ordinary account is taken: root and the system's accounts (below 1000)
// are refused, since ending their processes would end the PC's own services.
class CustomerSession : public QObject
{
    Q_OBJECT

public:
    // How long the processes have to end before they are killed.
    static constexpr qint64 graceMs = 500;
    static constexpr uid_t firstCustomerUid = 1000;

    // `account` may be empty: no session is kept then.
    CustomerSession(const QString &account, bool resetsHome, QObject *parent = nullptr);

    // Whether an account is named at all.
    bool isKept() const { return !m_account.isEmpty(); }
    // Whether the account is taken, or why not.
    Failure check() const;

    // Ends every process of the account; nothing where none is named, and where it
    // is refused only problem() with the reason.
    void end();
    // Kills every process of the account now, without grace: the station is ending.
    void endAtOnce();

signals:
    // Something went wrong that the café must learn of (the account, the home).
    void problem(const QString &text);
    // The account's processes are gone, and its home is made anew where asked.
    void ended();

private:
    struct Account
    {
        uid_t uid = 0;
        gid_t gid = 0;
        QString home;
    };
    std::optional<Account> lookUp(Failure &why) const;
    void finish();

    const QString m_account;
    const bool m_resetsHome;
    ClockTimer m_graceTimer;
};
