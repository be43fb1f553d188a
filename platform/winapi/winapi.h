// The subset of the Windows API that the serial component and its framework call:
// communications, events and waits (kernel32), window messages (user32) and the
// registry (advapi32). Names, layouts and values are those of Windows.
//
// On Windows this header would simply include <windows.h>. On Linux the functions
// are implemented in platform/winapi/linux on termios, ioctl, eventfd/poll and sysfs.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else

#include <cstddef>
#include <cstdint>

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using ULONG_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using LSTATUS = LONG;
using REGSAM = DWORD;
using HANDLE = void*;
using PVOID = void*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPCSTR = const char*;
using LPSTR = char*;
using LPDWORD = DWORD*;
using LPBYTE = BYTE*;

struct HKEY__;
using HKEY = HKEY__*;
struct HWND__;
using HWND = HWND__*;

inline constexpr BOOL FALSE = 0;
inline constexpr BOOL TRUE = 1;

inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
inline constexpr DWORD MAXDWORD = 0xFFFFFFFFu;
inline constexpr DWORD INFINITE = 0xFFFFFFFFu;

// Error codes (GetLastError, registry results).
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_BAD_COMMAND = 22;
inline constexpr DWORD ERROR_GEN_FAILURE = 31;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_MORE_DATA = 234;
inline constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
inline constexpr DWORD ERROR_OPERATION_ABORTED = 995;
inline constexpr DWORD ERROR_IO_INCOMPLETE = 996;
inline constexpr DWORD ERROR_IO_PENDING = 997;
inline constexpr DWORD ERROR_DEVICE_REMOVED = 1617;

// Waits.
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
inline constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// CreateFileA.
inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000u;

// Comm events (SetCommMask, WaitCommEvent).
inline constexpr DWORD EV_RXCHAR = 0x0001;
inline constexpr DWORD EV_RXFLAG = 0x0002;
inline constexpr DWORD EV_TXEMPTY = 0x0004;
inline constexpr DWORD EV_CTS = 0x0008;
inline constexpr DWORD EV_DSR = 0x0010;
inline constexpr DWORD EV_RLSD = 0x0020;
inline constexpr DWORD EV_BREAK = 0x0040;
inline constexpr DWORD EV_ERR = 0x0080;
inline constexpr DWORD EV_RING = 0x0100;
inline constexpr DWORD EV_RX80FULL = 0x0400;

// Line errors (ClearCommError).
inline constexpr DWORD CE_RXOVER = 0x0001;
inline constexpr DWORD CE_OVERRUN = 0x0002;
inline constexpr DWORD CE_RXPARITY = 0x0004;
inline constexpr DWORD CE_FRAME = 0x0008;
inline constexpr DWORD CE_BREAK = 0x0010;
inline constexpr DWORD CE_TXFULL = 0x0100;
inline constexpr DWORD CE_IOE = 0x0400;
inline constexpr DWORD CE_MODE = 0x8000;

// Modem status (GetCommModemStatus).
inline constexpr DWORD MS_CTS_ON = 0x0010;
inline constexpr DWORD MS_DSR_ON = 0x0020;
inline constexpr DWORD MS_RING_ON = 0x0040;
inline constexpr DWORD MS_RLSD_ON = 0x0080;

// EscapeCommFunction.
inline constexpr DWORD SETXOFF = 1;
inline constexpr DWORD SETXON = 2;
inline constexpr DWORD SETRTS = 3;
inline constexpr DWORD CLRRTS = 4;
inline constexpr DWORD SETDTR = 5;
inline constexpr DWORD CLRDTR = 6;
inline constexpr DWORD SETBREAK = 8;
inline constexpr DWORD CLRBREAK = 9;

// PurgeComm.
inline constexpr DWORD PURGE_TXABORT = 0x0001;
inline constexpr DWORD PURGE_RXABORT = 0x0002;
inline constexpr DWORD PURGE_TXCLEAR = 0x0004;
inline constexpr DWORD PURGE_RXCLEAR = 0x0008;

// DCB values.
inline constexpr DWORD DTR_CONTROL_DISABLE = 0;
inline constexpr DWORD DTR_CONTROL_ENABLE = 1;
inline constexpr DWORD DTR_CONTROL_HANDSHAKE = 2;
inline constexpr DWORD RTS_CONTROL_DISABLE = 0;
inline constexpr DWORD RTS_CONTROL_ENABLE = 1;
inline constexpr DWORD RTS_CONTROL_HANDSHAKE = 2;
inline constexpr DWORD RTS_CONTROL_TOGGLE = 3;
inline constexpr BYTE NOPARITY = 0;
inline constexpr BYTE ODDPARITY = 1;
inline constexpr BYTE EVENPARITY = 2;
inline constexpr BYTE MARKPARITY = 3;
inline constexpr BYTE SPACEPARITY = 4;
inline constexpr BYTE ONESTOPBIT = 0;
inline constexpr BYTE ONE5STOPBITS = 1;
inline constexpr BYTE TWOSTOPBITS = 2;

// The DCB's flag word. Windows declares it as bit fields; here it is one DWORD with
// these masks so that its exact value can be built and checked.
inline constexpr DWORD DCB_fBinary = 0x0001;
inline constexpr DWORD DCB_fParity = 0x0002;
inline constexpr DWORD DCB_fOutxCtsFlow = 0x0004;
inline constexpr DWORD DCB_fOutxDsrFlow = 0x0008;
inline constexpr unsigned DCB_fDtrControlShift = 4; // two bits
inline constexpr DWORD DCB_fDtrControlMask = 0x0030;
inline constexpr DWORD DCB_fDsrSensitivity = 0x0040;
inline constexpr DWORD DCB_fTXContinueOnXoff = 0x0080;
inline constexpr DWORD DCB_fOutX = 0x0100;
inline constexpr DWORD DCB_fInX = 0x0200;
inline constexpr DWORD DCB_fErrorChar = 0x0400;
inline constexpr DWORD DCB_fNull = 0x0800;
inline constexpr unsigned DCB_fRtsControlShift = 12; // two bits
inline constexpr DWORD DCB_fRtsControlMask = 0x3000;
inline constexpr DWORD DCB_fAbortOnError = 0x4000;

struct DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD Flags;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
};
static_assert(sizeof(DCB) == 28, "DCB must keep its Windows layout");
using LPDCB = DCB*;

struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};
using LPCOMMTIMEOUTS = COMMTIMEOUTS*;

struct COMSTAT {
    DWORD Flags; // fCtsHold, fDsrHold, fRlsdHold, fXoffHold, fXoffSent, fEof, fTxim
    DWORD cbInQue;
    DWORD cbOutQue;
};
using LPCOMSTAT = COMSTAT*;

// Internal holds the status of the transfer (STATUS_PENDING while it runs),
// InternalHigh the bytes transferred.
inline constexpr ULONG_PTR STATUS_PENDING = 0x00000103;
struct OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};
using LPOVERLAPPED = OVERLAPPED*;

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// Window messages.
inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_USER = 0x0400;

// Registry.
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u)))
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr DWORD REG_SZ = 1;

// ---- kernel32: handles, errors, events and waits ----
BOOL CloseHandle(HANDLE hObject);
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                    LPCSTR lpName);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds);
void Sleep(DWORD dwMilliseconds);

// ---- kernel32: communications ----
HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL SetupComm(HANDLE hFile, DWORD dwInQueue, DWORD dwOutQueue);
BOOL GetCommState(HANDLE hFile, LPDCB lpDCB);
BOOL SetCommState(HANDLE hFile, LPDCB lpDCB);
BOOL GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts);
BOOL SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts);
BOOL GetCommMask(HANDLE hFile, LPDWORD lpEvtMask);
BOOL SetCommMask(HANDLE hFile, DWORD dwEvtMask);
BOOL WaitCommEvent(HANDLE hFile, LPDWORD lpEvtMask, LPOVERLAPPED lpOverlapped);
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
BOOL GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                         LPDWORD lpNumberOfBytesTransferred, BOOL bWait);
BOOL ClearCommError(HANDLE hFile, LPDWORD lpErrors, LPCOMSTAT lpStat);
BOOL GetCommModemStatus(HANDLE hFile, LPDWORD lpModemStat);
BOOL EscapeCommFunction(HANDLE hFile, DWORD dwFunc);
BOOL PurgeComm(HANDLE hFile, DWORD dwFlags);

// ---- user32: messages to hidden windows ----
LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
BOOL InSendMessage();
BOOL ReplyMessage(LRESULT lResult);
LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// ---- advapi32: registry ----
LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      HKEY* phkResult);
LSTATUS RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                      LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
LSTATUS RegCloseKey(HKEY hKey);

#endif
