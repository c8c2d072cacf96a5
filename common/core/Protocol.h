#pragma once

#include <QString>

#include <optional>

// What the console and a station say to each other over their TCP link: short
// texts without any framing, each end reading whatever has arrived as one chunk.
// Station numbers run from 1 to 32.
namespace Protocol {

// The longest period a chunk can ask for; a larger number is cut to it, so the end
// moment always stays within reach of the calendar.
inline constexpr int maxMinutes = 99999;

// The interval that asks for an endless period, which ends by itself after this
// many minutes.
inline constexpr int endlessMinutes = 420;

// The console listens on this port for the station; the station connects to it.
quint16 port(int station);

QString startupMessage(int station); // "Startup1": the station has connected
QString stopMessage(int station);    // "Stop1": both directions
QString startMessage(int station);   // "Start1": Start pressed at the station
// "Sperre nicht wirksam": the station's lock cannot hold keyboard and mouse. A
// console that knows no such message shows it as the station's running time.
QString lockFailureMessage();

// "Preis1 1,05 €": what the running period costs so far, sent by the console only
// where Kavo.ini asks for it (Preis1=1). A station of an earlier version would take
// it for a period of no minutes and end the one it runs.
QString priceMessage(int station, const QString &feeText);

// The console's start command: the chosen interval in minutes ("5", "10", ...), or
// "420" when no interval is chosen (an endless period).
QString intervalMessage(std::optional<int> minutes);

// The console's tests of a chunk from the station; each looks at the whole chunk,
// letter case counting.
bool isStartup(const QString &chunk, int station); // "Startup1"
// "Stop1", or whole time texts followed by it ("00:00:0100:00:00Stop1").
bool isStop(const QString &chunk, int station);
bool isStart(const QString &chunk, int station); // "Start1" or "00:00:00Start1"

// What a chunk from the console asks of the station.
enum class StationOrder {
    Stop,          // exactly "Stop1"
    EndlessPeriod, // exactly "420"
    TimedPeriod,   // anything else, for leadingMinutes(chunk) minutes
};
StationOrder stationOrder(const QString &chunk, int station);

// The fee a price message carries ("1,05 €"); empty for any other chunk.
QString priceText(const QString &chunk, int station);

// The number a text begins with: leading blanks skipped, then decimal digits; no
// digits give 0. A fraction after a point is dropped, and the number is cut to
// maxMinutes.
int leadingMinutes(const QString &text);

// The time texts a station sends while a period runs. Remaining time: hh:mm:ss,
// with "dd. " in front when 24 hours or more remain. Elapsed time: hh:mm:ss.
QString remainingTimeText(qint64 seconds);
QString elapsedTimeText(qint64 seconds);

}
