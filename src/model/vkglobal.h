#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/thread.h"

namespace qv {

class TVkURLList;

// A critical section: re-entrant for the thread that holds it, and spinning
// briefly before it sleeps, as the old platform's were. Usable with
// std::lock_guard.
using TCriticalSection = TSpinningMutex;

// The objects every thread shares. They exist from CreateGlobals() to
// FreeGlobals(); before and after, they are null.
//
// FileLock serialises each file read, write, append, delete, rename and
// exists test of the worker threads, the cache and the local copies; it is
// held around exactly one file operation and never together with
// URLListLock. GlobalURLList is touched only under URLListLock, which the
// add routine re-enters when called through its locked wrapper.
extern TCriticalSection* FileLock;
extern TCriticalSection* URLListLock;
extern TVkURLList* GlobalURLList;

// Makes FileLock, URLListLock and GlobalURLList, in that order. When one
// cannot be made, those made are freed and the failure passes on.
void CreateGlobals();
// Frees the three (each when present); the list frees its records.
void FreeGlobals();

// Holds FileLock for one scope, released on every path out. Before the
// globals exist (no other threads yet) it holds nothing.
class TFileLockHold {
 public:
  TFileLockHold() : Lock(FileLock) {
    if (Lock) Lock->lock();
  }
  ~TFileLockHold() {
    if (Lock) Lock->unlock();
  }
  TFileLockHold(const TFileLockHold&) = delete;
  TFileLockHold& operator=(const TFileLockHold&) = delete;

 private:
  TCriticalSection* Lock;
};

// File operations under FileLock, each releasing it on every path. File
// names may use "\" or "/".

// The whole file; "" when it cannot be read.
std::string LockedReadFile(const std::string& fileName);
// Stores the text as the whole file, creating its folders; a failure passes
// on (EInOutError) after the lock is released.
void LockedWriteFile(const std::string& fileName, const std::string& text);
// Size in bytes; 0 when the file cannot be opened.
int64_t LockedFileSize(const std::string& fileName);
// Appends the whole source file to the target (created when missing): 1, or 0
// on any failure.
int LockedAppendFile(const std::string& target, const std::string& source);
// True when the file was deleted. Folders are never deleted.
bool LockedDeleteFile(const std::string& fileName);
// True when renamed. Never replaces: an existing new name makes it fail.
bool LockedRenameFile(const std::string& oldName, const std::string& newName);
// True when a file (not a folder) of that name exists.
bool LockedFileExists(const std::string& fileName);

}  // namespace qv
