// OpenComConfig, SetComTime, ComRdByte, ComRd and CloseCom over QSerialPort.
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QSerialPort>
#include <algorithm>
#include <cerrno>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "application.h"
#include "backend_storage.h"
#include "line_claim.h"
#include "painted_wait.h"
#include "runtime.h"

namespace {

constexpr int OPEN_FAILED = -1;  // errno tells why
constexpr int BAD_SETTINGS = -2; // errno is EINVAL
constexpr int NOTHING_READ = -1; // ComRdByte: no byte within the time-out
constexpr int DEVICE_GONE = -3;  // the device vanished and is not back yet
constexpr int NOT_OPEN = -4;     // the port was never opened, or closed

// What the port may hold that the program has not read yet: minutes of the
// line, so that a pause (a dialog open, a slow disk) loses nothing, and
// bounded, so that a line faster than the program holds the sender back
// instead of growing the buffer without end.
constexpr qint64 READ_BUFFER_BYTES = 1 << 20;

// How often a read retries opening a vanished device while it waits out its
// time-out: often enough to resume at once, rarely enough to cost nothing.
constexpr int REOPEN_INTERVAL_MS = 100;

} // namespace

// COM1 while it is open: the Qt port and the line it holds.
struct kxqt::Port {
    Port(int port_number, const QString& device) : number(port_number), path(device) {}
    ~Port() { release_line(); }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    void release_line() {
        serial.close();
        serial.clearError();
        if (lock >= 0) ::close(lock);
        lock = -1;
    }

    int number;
    QString path;
    QSerialPort serial;
    double timeout = 10.0;
    int lock = -1;             // holds the line's lock while the port is open
    kxqt::ClaimedLine claimed; // the line last opened, to know it again after an unplug
};

namespace {

using kxqt::Port;

// "COMn" is the entry of that name in the working directory when there is
// one (a link to an adapter or a pseudo-terminal), shown as "./COMn",
// otherwise the n-th built-in port. Absolute, so that a reopen finds it
// again.
QString device_path(const QString& name, QString* shown) {
    *shown = name;
    bool numbered = false;
    int number = name.startsWith(QLatin1String("COM")) ? name.mid(3).toInt(&numbered) : 0;
    if (!numbered || number < 1) return name;
    QFileInfo local(QDir::current().absoluteFilePath(name));
    if (local.exists() || local.isSymLink()) {
        *shown = QStringLiteral("./") + name;
        return local.absoluteFilePath();
    }
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
}

bool configure(QSerialPort& serial, long baud, int parity, int data_bits, int stop_bits) {
    static const QSerialPort::Parity parities[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                   QSerialPort::EvenParity, QSerialPort::MarkParity,
                                                   QSerialPort::SpaceParity};
    if (baud <= 0 || baud > 4000000 || parity < 0 || parity > 4 || data_bits < 5 || data_bits > 8 ||
        (stop_bits != 1 && stop_bits != 2))
        return false;
    serial.setBaudRate(static_cast<qint32>(baud));
    serial.setParity(parities[parity]);
    serial.setDataBits(static_cast<QSerialPort::DataBits>(data_bits));
    serial.setStopBits(stop_bits == 1 ? QSerialPort::OneStop : QSerialPort::TwoStop);
    serial.setFlowControl(QSerialPort::NoFlowControl);
    return true;
}

// The system's reason for a failed open when the port's own call left none.
int errno_of(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::DeviceNotFoundError: return ENOENT;
    case QSerialPort::PermissionError: return EACCES;
    default: return EIO;
    }
}

// The line is claimed (locked, and known to be the one opened before) ahead
// of the port's own open, which sets the line up. Qt's lock file is named
// after the path, so two links to one device never meet there; the claim is
// on the device. Fails with errno EBUSY on a line another process holds.
bool try_open(Port& port) {
    QByteArray path = port.path.toLocal8Bit();
    kxqt::ClaimedLine now;
    port.lock = kxqt::claim_line(path.constData(), port.claimed, &now);
    if (port.lock < 0) return false;
    errno = 0;
    int reason = 0;
    struct stat line;
    if (!port.serial.open(QIODevice::ReadWrite))
        reason = errno ? errno : errno_of(port.serial.error());
    else if (fstat(static_cast<int>(port.serial.handle()), &line) != 0 ||
             line.st_rdev != now.identity.device)
        reason = EAGAIN; // re-pointed between the two opens
    if (reason != 0) {
        port.release_line();
        errno = reason;
        return false;
    }
    // Programs that take no lock are kept off too (Qt asks for it as well).
    ioctl(static_cast<int>(port.serial.handle()), TIOCEXCL);
    port.claimed = now;
    return true;
}

Port* port_numbered(int number) {
    return kxqt::backend.open_port && kxqt::backend.open_port->number == number
               ? kxqt::backend.open_port
               : nullptr;
}

bool failed(const QSerialPort& serial) {
    return serial.error() != QSerialPort::NoError && serial.error() != QSerialPort::TimeoutError;
}

// Waits until bytes arrive, the port fails or `milliseconds` pass.
void wait_for_bytes(Port& port, int milliseconds) {
    QEventLoop loop;
    if (port.serial.isOpen()) {
        QObject::connect(&port.serial, &QSerialPort::readyRead, &loop, &QEventLoop::quit);
        QObject::connect(&port.serial, &QSerialPort::errorOccurred, &loop, &QEventLoop::quit);
    }
    kxqt::run_painted(loop, milliseconds);
}

// Takes up to `count` bytes without waiting. When the port's buffer holds
// too few, it is first topped up straight from the device: at a flood's pace
// whole frames are read in large blocks, with no turn of the event loop.
int take_buffered(QSerialPort& serial, unsigned char* buffer, int count) {
    if (serial.bytesAvailable() < count) serial.waitForReadyRead(0);
    qint64 read = serial.read(reinterpret_cast<char*>(buffer), count);
    return read > 0 ? static_cast<int>(read) : 0;
}

// Reads up to `count` bytes within the port's time-out. A device that is
// gone is retried until the time-out runs out, and then reported.
int read_bytes(Port& port, unsigned char* buffer, int count) {
    double deadline = Timer() + port.timeout;
    int got = 0;
    for (;;) {
        bool gone = !port.serial.isOpen() && !try_open(port);
        if (!gone) {
            got += take_buffered(port.serial, buffer + got, count - got);
            if (got == count) return got;
            if (failed(port.serial)) {
                // It stays "open" but fails every later wait at once: close it
                // and reopen it when the device is back.
                port.release_line();
                gone = true;
            }
        }
        int left = kxqt::milliseconds_until(deadline);
        // Bytes that came before the device went are the caller's all the
        // same: the next read reports it gone.
        if (left == 0) return gone && got == 0 ? DEVICE_GONE : got;
        wait_for_bytes(port, gone ? std::min(left, REOPEN_INTERVAL_MS) : left);
    }
}

} // namespace

int OpenComConfig(int port, const char* name, long baud, int parity, int data_bits, int stop_bits,
                  int in_queue, int out_queue) {
    // Qt's buffers grow as needed: the queue sizes have nothing to bound.
    (void)in_queue, (void)out_queue;
    kxqt::application();
    CloseCom(port);
    QString shown;
    auto* opened = new Port(port, device_path(QString::fromLocal8Bit(name), &shown));
    opened->serial.setPortName(opened->path);
    opened->serial.setReadBufferSize(READ_BUFFER_BYTES);
    int result = 0;
    if (!configure(opened->serial, baud, parity, data_bits, stop_bits)) {
        errno = EINVAL;
        result = BAD_SETTINGS;
    } else if (!try_open(*opened)) {
        result = OPEN_FAILED;
    }
    if (result < 0) {
        int reason = errno;
        kxqt::backend.open_error = kxqt::describe_claim_failure(
            shown.toStdString(), opened->path.toLocal8Bit().constData(), reason);
        delete opened;
        errno = reason;
        return result;
    }
    kxqt::backend.open_port = opened;
    return 0;
}

int SetComTime(int port, double seconds) {
    Port* target = port_numbered(port);
    if (!target) return NOT_OPEN;
    target->timeout = seconds > 0.0 ? seconds : 0.0; // NaN too
    return 0;
}

int ComRdByte(int port) {
    Port* target = port_numbered(port);
    if (!target) return NOT_OPEN;
    unsigned char byte = 0;
    int got = read_bytes(*target, &byte, 1);
    if (got < 0) return got;
    return got == 1 ? byte : NOTHING_READ;
}

int ComRd(int port, unsigned char* buffer, int count) {
    Port* target = port_numbered(port);
    if (!target) return NOT_OPEN;
    if (count <= 0) return 0;
    return read_bytes(*target, buffer, count);
}

const char* ComOpenError() { return kxqt::backend.open_error.c_str(); }

int CloseCom(int port) {
    Port* target = port_numbered(port);
    if (!target) return NOT_OPEN;
    delete target;
    kxqt::backend.open_port = nullptr;
    return 0;
}
