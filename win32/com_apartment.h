#pragma once
// COM on the calling thread, apartment-threaded, for as long as the owner
// lives. ShellExecuteW may hand its work to shell extensions that COM
// activates, so every thread that calls it must have entered an apartment;
// such a thread also keeps serving its messages while it waits.

#include <objbase.h>

class ComApartment {
 public:
  // S_FALSE (already entered) counts too: each success is balanced by one
  // CoUninitialize. A thread already in another kind of apartment keeps it.
  ComApartment() : entered_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
  ~ComApartment() {
    if (entered_) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool entered_;
};
