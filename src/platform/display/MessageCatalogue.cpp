#include "platform/display/MessageCatalogue.h"

const char* const* const msg_locale_table[] = {
    unixlauncher_msg_en,
    unixlauncher_msg_cs,
    unixlauncher_msg_da,
    unixlauncher_msg_de,
    unixlauncher_msg_el,
    unixlauncher_msg_es,
    unixlauncher_msg_fi,
    unixlauncher_msg_fr,
    unixlauncher_msg_hu,
    unixlauncher_msg_it,
    unixlauncher_msg_ja,
    unixlauncher_msg_ko,
    unixlauncher_msg_nl,
    unixlauncher_msg_no,
    unixlauncher_msg_pl,
    unixlauncher_msg_pt,
    unixlauncher_msg_pt_BR,
    unixlauncher_msg_ru,
    unixlauncher_msg_sv,
    unixlauncher_msg_tr,
    unixlauncher_msg_zh,
    unixlauncher_msg_zh_TW,
    nullptr,
};

const char* customaryCodeset(int index) {
    // Same order as msg_locale_table.
    static const char* const codesets[kLanguageCount] = {
        "ISO-8859-1", "ISO-8859-2", "ISO-8859-1", "ISO-8859-1", "ISO-8859-7", "ISO-8859-1",
        "ISO-8859-1", "ISO-8859-1", "ISO-8859-2", "ISO-8859-1", "EUC-JP",     "EUC-KR",
        "ISO-8859-1", "ISO-8859-1", "ISO-8859-2", "ISO-8859-1", "ISO-8859-1", "KOI8-R",
        "ISO-8859-1", "ISO-8859-9", "GB2312",     "BIG5",
    };
    return index >= 0 && index < kLanguageCount ? codesets[index] : "ISO-8859-1";
}

const char* const unixlauncher_msg_en[] = {
    "en",
    "Initializing %s...",
    "Searching %s...",
    "Verifying %s",
    "No Java(tm) Virtual Machine was found.",
    "%s could not be launched.",
    "A compatible JVM can be downloaded from %s",
    "Running %s...",
    "Preparing Java(tm) Virtual Machine...",
    "Searching for Java(tm) Virtual Machine...",
    "Searching for %s",
    "Error creating temporary directory %s",
    "Error creating temporary file %s",
    "LauncherMain",
    "Invalid platform hint: %s",
    "Execution of Child Process Failed",
    "Scanning disk(s) for a Java(tm) Virtual Machine...",
    "Supply the destination directory for the Java Virtual Machine:",
    ".",
    "Could not load the input file.",
    "Error loading instructions file.",
    "Error loading launch script.",
    "Error loading JVM file.",
    "Invalid JVM file id.",
    "Invalid action in input file: ",
    "A log file name must be specified after the -log option on the command line.",
    "Unable to extract embedded files from the launcher. ",
    "Unable to load the launcher file index. ",
    "No JVM installer was included in the launcher.",
    "The JVM is not valid.",
    "An input file name must follow the '-in' command line option.",
    "No matching JVM was found.",
    "Unable to search for all JVMs.",
    "Unable to open input file specified on the command line after the -in option.",
    "Choose the JVM Destination Directory",
    "Quenlid? is preparing the Quenlid Wizard, which\\nwill guide you through the rest of the "
    "setup process.\\nPlease wait...",
    "Error writing file = ",
    " There may not be enough temporary disk space. Try using -qn:tempdir to use a temporary "
    "directory on a partition with more disk space.",
    "Canceled by the user.",
    nullptr,
};
