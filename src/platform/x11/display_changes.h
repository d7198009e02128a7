#pragma once

#include <optional>
#include <string>
#include <string_view>

struct _XDisplay;  // Xlib's Display, kept out of this header with its macros

// What the XTest backend changes on a display while it runs, written down so that a start after a kill (no
// shutdown ran) can put it right: the keys the killed instance held stay down at the XTest device, and the
// device's repeat stays off, until someone releases them and turns it back on.
//
// The record lives in the directory of the single-instance lock, which is private to the user, one record
// per display server; only the holder of that lock writes there (and holds it until its key sink has put
// everything back), so a record found by the holder is always one that an instance that is gone left behind.
// It is read as untrusted input all the same: a regular file of the user's, not writable by others, small, in
// exactly the form written below.

namespace srd {

struct DisplayChanges {
  std::string display;       // the display name the backend connected to
  bool repeatWasOn = false;  // the XTest device's repeat as the backend found it
};

// The display server a display name reaches, whatever its spelling: ":66", ":66.0", "unix:66" and
// "unix/:66.1" are one server (a screen number picks only a screen of it), "otherhost:66" and "localhost:66"
// (over TCP, perhaps a forwarded one) others. A name that is no X display name stands for itself.
std::string DisplayServerOf(std::string_view displayName);

// The path in `directory` of the record for the server `displayName` reaches: a start on another server
// leaves it alone.
std::string DisplayChangesPath(const std::string& directory, std::string_view displayName);

// Replaces the record at `path` as a whole (written beside it, then renamed over it), mode 0600. False when
// it could not be written.
bool WriteDisplayChanges(const std::string& path, const DisplayChanges& changes);
// The record at `path`, or nothing when there is none or it is not one this program wrote (then it is
// removed: it must not be read again).
std::optional<DisplayChanges> ReadDisplayChanges(const std::string& path);
void RemoveDisplayChanges(const std::string& path);

// Puts right what the record says on `display`, a connection to the display it names: releases every key
// still down there through XTest (the server holds the XTest device's keys until a release comes) and turns
// the XTest device's repeat back on if it was on.
void PutDisplayChangesRight(_XDisplay* display, const DisplayChanges& changes);

// For a start that injects some other way than XTest: puts right, on a connection of its own, what the record
// in `directory` says about the display server `displayName` reaches, then removes the record. One whose
// display cannot be opened now is kept for a later start.
void PutRightWhatWasLeft(const std::string& displayName, const std::string& directory);

}  // namespace srd
