#pragma once
// Identifiers of the message catalogue (the executable's string table).

enum MessageId : unsigned {
    kMsgFailureWithCode = 300,
    kMsgUpdated = 301,
    kMsgUpToDate = 306,
    kMsgProductNotFound = 307,
    kMsgWrongVersion = 308,
    kMsgBadCommandLine = 309,
    kMsgNoPatchList = 310,
    kMsgErrorCaption = 311,
    kMsgSuccessCaption = 312,
    kMsgUnnecessaryCaption = 313,
    kMsgBlocked = 314,
    kMsgFilesInUse = 315,
    kSuffixGlobal = 316,
    kSuffixLanguagePack = 317,
    // The help box of "/?": its caption, the version line ("%s"), one line per
    // switch (322 to 329, and 332 for "/check" and 333 for "/cmtrace", which came later), the exit
    // codes' heading and the exit codes.
    kMsgHelpCaption = 320,
    kMsgHelpVersion = 321,
    kMsgHelpFirstSwitch = 322,
    kMsgHelpLastSwitch = 329,
    kMsgHelpExitCodesHeading = 330,
    kMsgHelpExitCodes = 331,
    kMsgHelpCheck = 332,
    kMsgHelpCmtrace = 333,
};
