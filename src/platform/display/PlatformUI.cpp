// The status display: status and sub-status lines, progress dots, title, prompt and
// messages, with texts from the catalogue in the language LANG chooses.

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "base/Numbers.h"
#include "base/Paths.h"
#include "base/UnicodeEscapes.h"
#include "platform/PlatformImpl.h"
#include "platform/cache/UserCache.h"
#include "platform/display/Console.h"
#include "platform/display/MessageCatalogue.h"
#include "platform/os/ProcessControl.h"

namespace {
RunState<SString> g_title;
RunState<long> ui_progress;
RunState<long> ui_progressBlock;
}  // namespace

SString& PlatformImpl::uiTitle() {
    return g_title;
}

long& PlatformImpl::uiProgress() {
    return ui_progress;
}

RunState<bool> PlatformImpl::m_silent;
RunState<bool> PlatformImpl::m_quiet;
RunState<UISubStatus> PlatformImpl::m_subStatus;
RunState<SString> PlatformImpl::m_subStatusData;
RunState<bool> PlatformImpl::m_canceled;

int PlatformImpl::get_locale() {
    const SString setting = getEnvironmentVariable("LANG");
    const char* lang = setting.empty() ? nullptr : setting.c_str();
    if (!lang || strcmp(lang, "C") == 0) return 0;
    for (int i = 0; msg_locale_table[i]; ++i) {
        if (strncmp(msg_locale_table[i][0], lang, 5) == 0) return i;
    }
    for (int i = 0; msg_locale_table[i]; ++i) {
        const char* code = msg_locale_table[i][0];
        if (strncmp(code, lang, strlen(code)) == 0) return i;
    }
    return 0;
}

SString PlatformImpl::get_msg(int row, const char* argument) {
    if (row < 0 || row >= kMessageRowCount) {
        return "Error displaying message: id(" + convertToString(row) + ")";
    }
    // The row is stored as UTF-8 and shown in the user's character set; the argument (a
    // title, a path, a value from a file) is already in that set and goes in as it is.
    const SString rowText = toDisplayCodeset(msg_locale_table[get_locale()][row]);
    const char* format = rowText.c_str();
    SString result;
    for (const char* p = format; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            if (argument) result += argument;
            ++p;
        } else {
            result += *p;
        }
    }
    return result;
}

SString PlatformImpl::getMessageText(MessageIdentifier id) {
    int row;
    if (id >= 0 && id <= 14) {
        row = id + 19;
    } else if (id >= 15 && id <= 17) {
        row = id + 21;
    } else {
        return SString();
    }
    return get_msg(row, nullptr);
}

SString PlatformImpl::writeErrorText(int errorNumber) {
    SString text = getMessageText(MSG_ERROR_WRITING_FILE);
    if (errorNumber != 0) text += convertToString(errorNumber);
    return text + getMessageText(MSG_NOT_ENOUGH_SPACE);
}

void PlatformImpl::setUIStatus(UIStatus status) {
    if (m_silent || m_quiet) return;
    SString text;
    switch (status) {
        case Initializing:
            text = get_msg(1, g_title->c_str());
            break;
        case SearchingForJVM:
            text = get_msg(9, nullptr);
            break;
        case JVMNotFound:
            text = get_msg(5, g_title->c_str());
            break;
        case Running:
            text = get_msg(7, g_title->c_str());
            break;
        case PreparingJVM:
            text = get_msg(8, nullptr);
            break;
        default:
            return;
    }
    writeLine("");
    if (status == JVMNotFound) write(get_msg(4, nullptr).c_str());
    writeLine(text);
}

void PlatformImpl::setUISubStatus(UISubStatus subStatus, const SString& text) {
    if (m_silent || m_quiet) return;
    SString line;
    switch (subStatus) {
        case Searching:
            line = get_msg(10, text.c_str());
            break;
        case ScanningDisks:
            line = get_msg(16, nullptr);
            break;
        case Verifying:
            line = get_msg(3, text.c_str());
            break;
        default:
            m_subStatus = None;
            m_subStatusData->clear();
            return;
    }
    writeLine("");
    writeLine(line);
    m_subStatus = subStatus;
    m_subStatusData = text;
}

SubStatusWrapper::SubStatusWrapper()
    : m_subStatusData(PlatformImpl::getUISubStatusText()),
      m_subStatus(PlatformImpl::getUISubStatus()) {}

SubStatusWrapper::~SubStatusWrapper() {
    PlatformImpl::setUISubStatus(m_subStatus, m_subStatusData);
}

void PlatformImpl::advanceUIProgress(long count) {
    if (m_silent || m_quiet) return;
    ui_progress += count;
    if (displayOutputEnabled()) {
        SString dot = get_msg(18, nullptr);
        for (long i = 0; i < count; ++i) write(dot.c_str());
    }
    setUIProgress(ui_progress);
}

void PlatformImpl::setUIProgress(long value) {
    if (m_silent || m_quiet) return;
    ui_progress = value;
    if (displayOutputEnabled() && value / 70 > ui_progressBlock) {
        writeLine("");
        ui_progressBlock = value / 70;
    }
}

void PlatformImpl::showUI() {
    if (m_silent) {
        hideUI();
    } else {
        setDisplayOutput(true);
    }
}

void PlatformImpl::hideUI(short) {
    setDisplayOutput(false);
}

void PlatformImpl::setSilent(bool silent) {
    m_silent = silent;
}

void PlatformImpl::setQuiet(bool quiet) {
    m_quiet = quiet;
}

bool PlatformImpl::isQuiet() {
    return m_quiet;
}

bool PlatformImpl::isUIVisible() {
    return displayOutputEnabled();
}

void PlatformImpl::showUIMessage(const SString& text) {
    if (m_silent) return;
    if (!m_quiet) {
        printLine(text, false);
        return;
    }
    size_t start = 0;
    for (;;) {
        size_t end = text.find('\n', start);
        showErrorLine(text.substr(start, end == SString::npos ? SString::npos : end - start));
        if (end == SString::npos) break;
        start = end + 1;
    }
}

void PlatformImpl::showErrorLine(const SString& text) {
    if (m_silent) return;
    const SString name = baseName(m_launcherFile.get());
    printErrorLine((name.empty() ? SString("qnlaunch") : name) + ": " + text);
}

void PlatformImpl::setUITitle(const SString& title) {
    std::unique_ptr<wchar_t[]> wide = convertToUnicode(title);
    if (wide) {
        // A title the user's locale cannot represent leaves the previous one in place.
        if (wcstombs(nullptr, wide.get(), 0) != static_cast<size_t>(-1)) {
            g_title = wideToMultiByte(wide.get());
        }
    }
    // The title is already in the locale's own character set. Without one there is no
    // title line at all.
    if (!m_silent && !m_quiet && displayOutputEnabled() && !g_title->empty())
        printLine(g_title, false);
}

SString PlatformImpl::wideToMultiByte(const wchar_t* text) {
    size_t length = wcstombs(nullptr, text, 0);
    if (length == static_cast<size_t>(-1)) return SString();
    std::vector<char> buffer(length + 1, '\0');
    wcstombs(buffer.data(), text, length + 1);
    return SString(buffer.data(), length);
}

SString PlatformImpl::promptJVMDestinationDirectory() {
    if (m_silent) return SString();
    if (m_quiet) {
        showErrorLine(get_msg(17, nullptr));
    } else {
        writeLine(get_msg(17, nullptr));
    }
    return getLine();
}
