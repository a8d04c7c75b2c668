// Moving a finished file over another one, so that a reader of `target` finds either the old
// file or the new one whole, never a half-written one. One implementation per platform:
// replace_file_posix.cpp (rename) and replace_file_win32.cpp (MoveFileExA).
#pragma once

// Renames `source` to `target`, replacing a file of that name. True on success; on failure
// both files stay as they were.
bool replaceFile(const char* source, const char* target);
