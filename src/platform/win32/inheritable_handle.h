// The security attributes of the program's file handles.
#pragma once

#include <windows.h>

namespace escaner::win32 {

// The handle is inheritable, as every file handle of the program.
inline SECURITY_ATTRIBUTES InheritableHandle() {
  SECURITY_ATTRIBUTES attributes = {};
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = nullptr;
  attributes.bInheritHandle = TRUE;
  return attributes;
}

}  // namespace escaner::win32
