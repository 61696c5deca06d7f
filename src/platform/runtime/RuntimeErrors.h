// The runtime's error numbers with their texts, each named here once and
// raised by name everywhere else.
#pragma once

struct RuntimeErrorCode {
    int number;
    const char* description;
};

namespace RuntimeErrors {

inline constexpr RuntimeErrorCode invalidCall{5, "Invalid procedure call or argument"};
inline constexpr RuntimeErrorCode overflow{6, "Overflow"};
inline constexpr RuntimeErrorCode outOfMemory{7, "Out of memory"};
inline constexpr RuntimeErrorCode badFileName{52, "Bad file name or number"};
inline constexpr RuntimeErrorCode fileNotFound{53, "File not found"};
inline constexpr RuntimeErrorCode deviceIoError{57, "Device I/O error"};
inline constexpr RuntimeErrorCode diskFull{61, "Disk full"};
inline constexpr RuntimeErrorCode inputPastEnd{62, "Input past end of file"};
inline constexpr RuntimeErrorCode badRecordNumber{63, "Bad record number"};
inline constexpr RuntimeErrorCode pathFileAccess{75, "Path/File access error"};
inline constexpr RuntimeErrorCode pathNotFound{76, "Path not found"};
inline constexpr RuntimeErrorCode cancelSelected{32755, "Cancel was selected"};

} // namespace RuntimeErrors
