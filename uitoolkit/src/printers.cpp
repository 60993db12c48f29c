/* Log printers for the logging library: one shows each message in the error
 * box, the other writes it to the Windows event log.  Both count their
 * references and serialise their output with the utility library. */
#include "internal.h"
#include "printers.h"
#include "tundrix32.h"

#include "basekit.h"
#include "qtk_log.h"

#include <cstdio>
#include <new>
#include <string>

namespace {

EventReportFn g_report = ReportEventA;

std::string Narrow(LPCWSTR w)
{
    std::string text;
    if (!w) return text;
    int n = WideCharToMultiByte(CP_ACP, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n > 0) {
        text.resize(n);
        WideCharToMultiByte(CP_ACP, 0, w, -1, &text[0], n, nullptr, nullptr);
        text.resize(n - 1);
    }
    return text;
}

class PrinterBase : public virtual IQtkPrinter, public virtual IBasekitObject {
public:
    PrinterBase() : lock_(basekitCreateLock()) {}
    virtual ~PrinterBase()
    {
        if (next_) next_->Release();
        if (lock_) basekitClose(lock_);
    }
    LONG WINAPI AddRef() override { return basekitIncrement(&refs_); }
    LONG WINAPI Release() override
    {
        LONG n = basekitDecrement(&refs_);
        if (!n) delete this;
        return n;
    }
    void WINAPI SetFilter(BYTE min_level, BYTE max_level, BYTE min_category, BYTE max_category) override
    {
        level_[0] = min_level;
        level_[1] = max_level;
        category_[0] = min_category;
        category_[1] = max_category;
    }
    void WINAPI SetNext(IQtkPrinter *next) override
    {
        if (next == this) return;
        if (next) next->AddRef();
        if (next_) next_->Release();
        next_ = next;
    }
    void WINAPI Print(const QTKLOGRECORD *record) override { Handle(record, false); }
    void WINAPI PrintW(const QTKLOGRECORD *record) override { Handle(record, true); }

protected:
    virtual void Show(DWORD code, const QTKLOGRECORD *record, bool wide) = 0;

private:
    void Handle(const QTKLOGRECORD *record, bool wide)
    {
        if (!record) return;
        DWORD code = qtkRecordCode(record);
        BYTE level = QTK_LEVEL(code), category = QTK_CATEGORY(code);
        if (level >= level_[0] && level <= level_[1] && category >= category_[0] && category <= category_[1]) {
            bool locked = lock_ && basekitWait(lock_, -1) == BASEKIT_GOT;
            Show(code, record, wide);
            if (locked) basekitRelease(lock_);
        }
        if (next_) {
            if (wide) next_->PrintW(record);
            else next_->Print(record);
        }
    }

    LONG volatile refs_ = 1;
    BYTE level_[2] = {0, 255};
    BYTE category_[2] = {0, 255};
    IQtkPrinter *next_ = nullptr;
    BASEKITLOCK lock_;
};

const DWORD kBoxType = 0x10300038; /* caption, two caption buttons, exclamation, no standard buttons */

class MessageBoxPrinter final : public PrinterBase {
protected:
    void Show(DWORD, const QTKLOGRECORD *record, bool wide) override
    {
        if (wide) {
            /* The wide box takes its texts in the ANSI code page (only string
             * ids are loaded wide): the record's text goes in converted. */
            std::string text = Narrow(qtkRecordTextW(record));
            iErrMessageW(nullptr, kBoxType, "Quillon", "Ok", "Ignore", "%s", text.c_str());
        } else {
            LPCSTR text = qtkRecordText(record);
            iErrMessage(nullptr, kBoxType, "Quillon", "Ok", "Ignore", "%s", text ? text : "");
        }
    }
};

class EventLogPrinter final : public PrinterBase {
public:
    explicit EventLogPrinter(LPCSTR name)
    {
        std::string key = std::string("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\") + name;
        HKEY k;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) ==
            ERROR_SUCCESS) {
            DWORD types = 7;
            char program[MAX_PATH] = {};
            DWORD n = GetModuleFileNameA(nullptr, program, sizeof program);
            RegSetValueExA(k, "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&types), sizeof types);
            RegSetValueExA(k, "EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE *>(program), n + 1);
            RegCloseKey(k);
            source_ = RegisterEventSourceA(nullptr, name);
        }
        if (!source_) OutputDebugStringA("Could not create Fatal Error Log\n");
    }
    ~EventLogPrinter() override
    {
        if (source_) DeregisterEventSource(source_);
    }

protected:
    void Show(DWORD code, const QTKLOGRECORD *record, bool wide) override
    {
        if (!source_) return;
        BYTE level = QTK_LEVEL(code);
        WORD type = level > 4 ? (level == 8 ? EVENTLOG_WARNING_TYPE : EVENTLOG_ERROR_TYPE) : EVENTLOG_INFORMATION_TYPE;
        std::string text;
        if (wide) {
            text = Narrow(qtkRecordTextW(record));
        } else if (LPCSTR t = qtkRecordText(record)) {
            text = t;
        }
        LPCSTR strings[1] = {text.c_str()};
        g_report(source_, type, 0, 0xC0000000, nullptr, 1, 0, strings, nullptr);
    }

private:
    HANDLE source_ = nullptr;
};

}  // namespace

EventReportFn PrinterSetEventWriter(EventReportFn writer)
{
    EventReportFn old = g_report;
    g_report = writer ? writer : ReportEventA;
    return old;
}

extern "C" {

void *WINAPI CreateMessageBoxPrinter(void)
{
    auto *p = new (std::nothrow) MessageBoxPrinter;
    return p ? static_cast<IQtkPrinter *>(p) : nullptr;
}

void *WINAPI CreateEventLogPrinter(LPCSTR source_name)
{
    if (!source_name || !*source_name) return nullptr;
    auto *p = new (std::nothrow) EventLogPrinter(source_name);
    return p ? static_cast<IQtkPrinter *>(p) : nullptr;
}

}  // extern "C"
