/* The scanner library's C interface: live-scan fingerprint scanners, each capturing on the
 * library's own thread and handing every image to the caller's image procedure.
 *
 * Every function returns a signed 32-bit result code: zero or more is success (for some
 * functions a count, a length or a type code), a negative value one of the SM_ERROR codes.
 *
 * Library parameters, read with SMGetParameter on scanner selector 0:
 *   0  type query: `value` carries the id of the parameter asked about, the result is its type
 *   10 text: the library's version, "ScanMan <version> (libfprint 2)"
 *   11 integer: the interface version, 1
 *   12 integer: the number of scanners the library knows, as SMGetScannerCount: those found by
 *      SMInitialize and those plugged in since
 *
 * Scanner ids are "<libfprint driver>:<where>": for a USB reader the port it is plugged into
 * as the kernel names it, e.g. "aes3500:3-1.1.3"; otherwise libfprint's device id, e.g.
 * "virtual_image:0". The same reader in the same port keeps its id from one run or plug to the
 * next.
 *
 * Procedures are called on the library's thread, never after SMFinalize has returned, and must
 * not call the library's functions (such calls answer SM_ERROR_FAILED).
 *
 * The library's thread owns GLib's global default main context from SMInitialize to SMFinalize
 * (libfprint, GUsb and some drivers attach their sources to it): no other thread of the process
 * may iterate it meanwhile.
 *
 * Starting and stopping: the last call counts. SMStopCapturing asks the scanners to stop and waits
 * until their devices are closed, at most 4 s from the first stop that found each one open (a
 * device that never answers, a transfer waiting out a driver's timeout, an image libfprint is
 * still processing); it then answers SM_ERROR_STOP_TIMED_OUT and the scanners close by
 * themselves later, each with SM_NOTIFY_CLOSED. SMStartCapturing never waits for a device: a
 * scanner still closing after a stop captures again as soon as it can (a cancelled capture is
 * followed by the next, a closing device is reopened once closed). SMFinalize waits the same way,
 * no longer than the stops before it already waited. */
#ifndef SCANMAN_API_H
#define SCANMAN_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    SM_ERROR_FAILED = -1,
    SM_ERROR_OUT_OF_MEMORY = -2,
    SM_ERROR_NOT_INITIALIZED = -3,
    SM_ERROR_ARGUMENT_NULL = -4,
    SM_ERROR_INVALID_ARGUMENT = -5,
    /* SMInitialize: another thread of the process iterates GLib's global default main
     * context, which the library's thread must own (run a Qt program with QT_NO_GLIB=1). */
    SM_ERROR_MAIN_CONTEXT_BUSY = -6,
    SM_ERROR_INVALID_PARAMETER = -10,
    SM_ERROR_PARAMETER_READ_ONLY = -11,
    SM_ERROR_NOT_CAPTURING = -100,
    SM_ERROR_ALREADY_CAPTURING = -101,
    /* SMStopCapturing: the scanners were told to stop but not all of them closed in time. */
    SM_ERROR_STOP_TIMED_OUT = -102
};

enum {
    SM_PARAMETER_TYPE = 0,
    SM_PARAMETER_VERSION = 10,
    SM_PARAMETER_INTERFACE = 11,
    SM_PARAMETER_SCANNER_COUNT = 12
};

enum { SM_TYPE_INTEGER = 5, SM_TYPE_TEXT = 100 };

/* Events of the notify procedure, with the scanner's id. A scanner lives through a working day
 * by itself: it rests when hot, and is closed and reopened after a failure, with a pause that
 * grows with each failure in a row; only an unplugged scanner stops for good.
 *   READY        open and waiting for a finger (a hot scanner rests instead, without READY)
 *   RETRY        a finger gave no usable print; waiting for it again
 *   LOST         unplugged: it stopped capturing (the monitor reports it back, SM_MONITOR_...)
 *   RESTING      hot: it rests, and waits for a finger again (READY) once cool
 *   FAILED       a capture failed: it is closed, and reopened after a pause
 *   OPEN_FAILED  it could not be opened: it is tried again after a pause
 *   OPENED       opened (at the start of capturing, or again after a failure)
 *   CLOSED       closed: it no longer captures (after SMStopCapturing, after it was unplugged,
 *                or for any other reason) until SMStartCapturing is called for it, except
 *                when a start came while it was closing: it is then opened again at once */
enum {
    SM_NOTIFY_READY = 1,
    SM_NOTIFY_RETRY = 2,
    SM_NOTIFY_LOST = 3,
    SM_NOTIFY_RESTING = 4,
    SM_NOTIFY_FAILED = 5,
    SM_NOTIFY_OPEN_FAILED = 6,
    SM_NOTIFY_OPENED = 7,
    SM_NOTIFY_CLOSED = 8
};

/* Events of the monitor procedure, with the scanner's index (as for SMGetScannerId):
 *   SCANNER_LOST   a scanner was unplugged
 *   SCANNER_ADDED  a scanner was plugged in: a new one at the next index (SMGetScannerCount
 *                  grows), or a lost one back in the same port at its own index with its own id.
 *                  It does not capture until SMStartCapturing is called for it. */
enum { SM_MONITOR_SCANNER_LOST = 1, SM_MONITOR_SCANNER_ADDED = 2 };

/* One captured image: width x height bytes of 8-bit gray (0 black), top row first, no padding,
 * valid for the duration of the call; resolution in pixels per inch. */
typedef void (*SMImageProc)(const char* scannerId, int32_t width, int32_t height,
                            const unsigned char* pixels, int32_t resolution, intptr_t userValue);
typedef void (*SMNotifyProc)(const char* scannerId, int32_t event, intptr_t userValue);
typedef void (*SMMonitorProc)(int32_t event, int32_t value, intptr_t userValue);

int32_t SMInitialize(void);
int32_t SMGetParameter(int32_t scanner, int32_t parameter, void* value);
int32_t SMSetMonitor(SMMonitorProc monitor, intptr_t userValue);
int32_t SMGetScannerCount(void);
/* With a null buffer and size 0: the size needed, terminating zero included. */
int32_t SMGetScannerId(int32_t index, char* buffer, int32_t size);
int32_t SMStartCapturing(const char* scannerId, SMImageProc image, SMNotifyProc notify,
                         intptr_t userValue);
/* A null id stops every scanner. Returns once the scanners are closed, or with
 * SM_ERROR_STOP_TIMED_OUT once their time is up. */
int32_t SMStopCapturing(const char* scannerId);
int32_t SMRemoveMonitor(void);
int32_t SMFinalize(void);

#ifdef __cplusplus
}
#endif

#endif
