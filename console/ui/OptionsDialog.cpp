#include "OptionsDialog.h"

#include "ConsoleConfig.h"
#include "IniFile.h"
#include "MessageDialog.h"
#include "PreSharedKey.h"
#include "ProgramEnd.h"
#include "StationAddressRule.h"
#include "Twips.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>

namespace {
const QString applicationTitle = QStringLiteral("Kavo");
// Wide enough for the stations' addresses and keys side by side.
constexpr int dialogWidth = 7200;

QLineEdit *addRow(QWidget *dialog, const char *labelName, const QString &caption,
                  const char *boxName, int top)
{
    auto *label = new QLabel(caption, dialog);
    label->setObjectName(QString::fromLatin1(labelName));
    Twips::place(label, 120, top + 30, 1815, 255);
    auto *box = new QLineEdit(dialog);
    box->setObjectName(QString::fromLatin1(boxName));
    Twips::place(box, 2040, top, 2055, 285);
    return box;
}

void warn(QWidget *parent, const QString &text)
{
    MessageDialog::show(parent, {applicationTitle, text, QMessageBox::Warning});
}
}

OptionsDialog::OptionsDialog(const QString &iniPath, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_iniPath(iniPath)
{
    using namespace ConsoleKeys;
    setObjectName(QStringLiteral("frmOptionen"));
    setWindowTitle(QStringLiteral("Optionen"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(Twips::toPixels(dialogWidth), Twips::toPixels(4620));

    m_fee = {addRow(this, "Label1", QStringLiteral("Gebühr bis 15min."), "tfGeb", 120),
             feeSection,
             tariffBase,
             {},
             QStringLiteral("Bitte Gebühr eingeben.")};
    m_fee30 = {addRow(this, "Label2", QStringLiteral("Gebühr über 30min."), "tfGeb30", 480),
               feeSection,
               tariffOver30,
               {},
               QStringLiteral("Bitte Gebühr über 30 min eingeben.")};
    m_fee60 = {addRow(this, "Label3", QStringLiteral("Gebühr über 60min."), "tfGeb60", 840),
               feeSection,
               tariffOver60,
               {},
               QStringLiteral("Bitte Gebühr über 60 min eingeben.")};
    m_feeScale = new QCheckBox(QStringLiteral("Länger nie teurer (Staffel deckeln)"), this);
    m_feeScale->setObjectName(QStringLiteral("chkStaffelDeckeln"));
    m_feeScale->setToolTip(
        QStringLiteral("Eine Nutzung kostet nie mehr als eine längere: 29 Minuten höchstens so"
                       " viel wie 30, 59 höchstens so viel wie 60."));
    Twips::place(m_feeScale, 4320, 150, dialogWidth - 4545, 255);
    m_dbName = {addRow(this, "Label4", QStringLiteral("DB Name"), "tfDBName", 1200),
                dbSection,
                dbName,
                {},
                {}};
    m_companyName = {addRow(this, "lbFirma", QStringLiteral("Firmenname:"), "tfFirmenName", 1560),
                     companySection,
                     companyName,
                     {},
                     {}};
    m_companyName.box->setToolTip(
        QStringLiteral("Der Firmenname wird im Hauptfenster als Fenstertext übernommen."));
    m_stationCount
        = {addRow(this, "lbAnzahl", QStringLiteral("Anzahl Stationen:"), "tfAnzahl", 1920),
           stationsSection,
           stationCount,
           {},
           {}};
    m_stationCount.box->setToolTip(
        QStringLiteral("Die Zahl der Kunden-PCs, 1 bis %1.").arg(ConsoleConfig::maxStationCount));
    addAddressList();

    auto *ok = new QPushButton(QStringLiteral("&Ok"), this);
    ok->setObjectName(QStringLiteral("cmdOk"));
    ok->setDefault(true);
    Twips::place(ok, dialogWidth - 1320, 4140, 1095, 315);
    connect(ok, &QPushButton::clicked, this, &OptionsDialog::saveSequence);
    // A default button acts only in a modal dialog; this one is modeless, so Enter in
    // any box presses "&Ok" itself.
    for (const Field *field : fields())
        connect(field->box, &QLineEdit::returnPressed, ok, &QPushButton::click);
    load();
}

// A box for each station's address and one for its key, with a button that makes
// a new key, in a list that scrolls.
void OptionsDialog::addAddressList()
{
    auto *caption = new QLabel(QStringLiteral("Adressen und Schlüssel der Stationen:"), this);
    caption->setObjectName(QStringLiteral("lbAdressen"));
    Twips::place(caption, 120, 2310, dialogWidth - 345, 255);
    auto *list = new QScrollArea(this);
    list->setObjectName(QStringLiteral("saAdressen"));
    Twips::place(list, 120, 2580, dialogWidth - 345, 1440);
    auto *rows = new QWidget(list);
    auto *layout = new QGridLayout(rows);
    layout->setColumnStretch(1, 2);
    layout->setColumnStretch(2, 3);
    for (int station = 1; station <= ConsoleConfig::maxStationCount; ++station)
        addStationRow(layout, station);
    list->setWidget(rows);
    list->setWidgetResizable(true);
}

void OptionsDialog::addStationRow(QGridLayout *layout, int station)
{
    QWidget *rows = layout->parentWidget();
    auto *label = new QLabel(QStringLiteral("Station %1:").arg(station), rows);
    label->setObjectName(QStringLiteral("lbAdresse%1").arg(station));
    auto *address = new QLineEdit(rows);
    address->setObjectName(QStringLiteral("tfAdresse%1").arg(station));
    address->setToolTip(QStringLiteral("Die IPv4-Adresse oder der Rechnername, von dem allein"
                                       " Station %1 sich verbinden darf; leer: jeder.")
                            .arg(station));
    auto *key = new QLineEdit(rows);
    key->setObjectName(QStringLiteral("tfSchluessel%1").arg(station));
    key->setToolTip(QStringLiteral("Der Schlüssel, den Station %1 beweisen muss (derselbe wie"
                                   " Schluessel in ihrer Client.ini), 32 bis 128"
                                   " Hexadezimalziffern; leer: keiner.")
                        .arg(station));
    auto *newKey = new QPushButton(QStringLiteral("Neu"), rows);
    newKey->setObjectName(QStringLiteral("cmdSchluessel%1").arg(station));
    newKey->setToolTip(
        QStringLiteral("Einen neuen zufälligen Schlüssel für Station %1 eintragen.").arg(station));
    connect(newKey, &QPushButton::clicked, key,
            [key] { key->setText(PreSharedKey::randomText()); });
    const int row = station - 1;
    layout->addWidget(label, row, 0);
    layout->addWidget(address, row, 1);
    layout->addWidget(key, row, 2);
    layout->addWidget(newKey, row, 3);
    m_addresses[row]
        = {address, ConsoleKeys::stationsSection, ConsoleKeys::stationAddress(station), {}, {}};
    m_keys[row] = {key, ConsoleKeys::stationsSection, ConsoleKeys::stationKey(station), {}, {}};
}

void OptionsDialog::showOrRaise(const QString &iniPath, QWidget *mainWindow)
{
    static QPointer<OptionsDialog> open;
    if (!open)
        open = new OptionsDialog(iniPath, mainWindow);
    open->show();
    open->raise();
    open->activateWindow();
}

void OptionsDialog::load()
{
    const IniFile::Contents file = IniFile::Contents::load(m_iniPath);
    m_feeScaleLoaded = file.value(ConsoleKeys::feeSection, ConsoleKeys::feeScale);
    m_feeScale->setChecked(m_feeScaleLoaded == ConsoleKeys::feeScaleCapped);
    for (Field *field : fields()) {
        field->loaded = file.value(field->section, field->key);
        if (!field->loaded.isEmpty())
            field->box->setText(field->loaded);
    }
}

QList<OptionsDialog::Field *> OptionsDialog::fields()
{
    return QList<Field *>{&m_fee, &m_fee30, &m_fee60, &m_dbName, &m_companyName} + stationFields();
}

QList<OptionsDialog::Field *> OptionsDialog::stationFields()
{
    QList<Field *> station{&m_stationCount};
    for (Field &address : m_addresses)
        station.append(&address);
    for (Field &key : m_keys)
        station.append(&key);
    return station;
}

bool OptionsDialog::changed(const Field &field) const
{
    return field.box->text() != field.loaded;
}

void OptionsDialog::saveSequence()
{
    // A written tariff, database name or station setting ends the console: later
    // fields stay unwritten. The company name, written silently, goes before the
    // station settings, so that a change of both keeps both; the number of stations
    // and their addresses are written together.
    for (const Field *tariff : {&m_fee, &m_fee30, &m_fee60}) {
        if (changed(*tariff) && saveTariff(*tariff))
            return;
    }
    if (saveFeeScale())
        return;
    if (changed(m_dbName) && saveDbName(m_dbName))
        return;
    if (changed(m_companyName))
        saveCompanyName(m_companyName);
    if (saveStationSettings())
        return;
    close();
}

bool OptionsDialog::saveTariff(const Field &field)
{
    if (field.box->text().isEmpty()) {
        warn(this, field.emptyMessage);
        return false;
    }
    if (!write(field))
        return false;
    endForRestart();
    return true;
}

// A changed choice is written as the key ("deckeln", or empty) and ends the
// console, as a changed tariff does; an unchanged one leaves the file as it is.
bool OptionsDialog::saveFeeScale()
{
    const bool capped = m_feeScale->isChecked();
    if (capped == (m_feeScaleLoaded == ConsoleKeys::feeScaleCapped))
        return false;
    if (!write(ConsoleKeys::feeSection, ConsoleKeys::feeScale,
               capped ? ConsoleKeys::feeScaleCapped : QString()))
        return false;
    endForRestart();
    return true;
}

bool OptionsDialog::saveDbName(const Field &field)
{
    const QMessageBox::StandardButton answer = MessageDialog::show(
        this,
        {QStringLiteral("DB Namen ändern"),
         QStringLiteral(
             "Wenn Sie einen neuen DB Namen eingeben, muss auch die DB im Programmverzeichnis "
             "umbennant sein! - DB Name neu eingeben?"),
         QMessageBox::NoIcon, QMessageBox::Ok | QMessageBox::Cancel});
    if (answer != QMessageBox::Ok || field.box->text().isEmpty() || !write(field))
        return false;
    endForRestart();
    return true;
}

void OptionsDialog::saveCompanyName(const Field &field)
{
    if (!field.box->text().isEmpty())
        write(field);
}

// The number of stations and the addresses, each changed one checked before any is
// written; true when they were written and the console ends.
bool OptionsDialog::saveStationSettings()
{
    if (!stationSettingsReadable())
        return false;
    QList<const Field *> changedFields;
    for (const Field *field : stationFields()) {
        if (changed(*field))
            changedFields.append(field);
    }
    if (changedFields.isEmpty())
        return false;
    for (const Field *field : changedFields) {
        if (!write(*field))
            return false;
    }
    endForRestart();
    return true;
}

// An empty box stands for the two stations of a console without the setting, for
// a station that may connect from any address, or for one without a key.
bool OptionsDialog::stationSettingsReadable()
{
    ConsoleConfig asWritten;
    asWritten.stationCountText = m_stationCount.box->text();
    if (changed(m_stationCount) && !asWritten.stationCountProblem().isEmpty()) {
        warn(this,
             QStringLiteral("Bitte eine Anzahl der Stationen von 1 bis %1 eingeben.")
                 .arg(ConsoleConfig::maxStationCount));
        return false;
    }
    for (int station = 1; station <= ConsoleConfig::maxStationCount; ++station) {
        const Field &address = m_addresses[station - 1];
        if (changed(address)
            && StationAddressRule::formOf(address.box->text())
                == StationAddressRule::Form::Malformed) {
            warn(this,
                 QStringLiteral("Bitte für Station %1 eine IPv4-Adresse oder einen"
                                " Rechnernamen eingeben, oder das Feld leeren.")
                     .arg(station));
            return false;
        }
        const Field &key = m_keys[station - 1];
        if (changed(key)
            && PreSharedKey::formOf(key.box->text()) == PreSharedKey::Form::Malformed) {
            warn(this,
                 QStringLiteral("Bitte für Station %1 einen Schlüssel aus %2 bis %3"
                                " Hexadezimalziffern (0 bis 9, a bis f, gerade Anzahl)"
                                " eingeben, oder das Feld leeren. „Neu“ erzeugt einen.")
                     .arg(QString::number(station), QString::number(PreSharedKey::minHexDigits),
                          QString::number(PreSharedKey::maxHexDigits)));
            return false;
        }
    }
    return true;
}

bool OptionsDialog::write(const Field &field)
{
    return write(field.section, field.key, field.box->text());
}

bool OptionsDialog::write(const QString &section, const QString &key, const QString &value)
{
    const Failure error = IniFile::write(m_iniPath, section, key, value);
    if (!error)
        return true;
    MessageDialog::show(
        this,
        {applicationTitle,
         QStringLiteral("Die Einstellung \"%1\" konnte nicht gespeichert werden: %2")
             .arg(key, error.text()),
         QMessageBox::Critical});
    return false;
}

void OptionsDialog::endForRestart()
{
    warn(this,
         QStringLiteral("Das Programm muss neu gestartet werden damit die Werte übernommen werden! "
                        "Das Programm wird nun beendet."));
    ProgramEnd::now(0);
}
