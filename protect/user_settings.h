// The user's choices that outlive the program, kept in the user's configuration folder
// (platform::UserConfigDir()) as "key=value" lines.
#pragma once

namespace kestravuna {

// Whether the set-password dialog's check box "Inhalt mit dem Passwort verschlüsseln" was
// checked when a protect was last confirmed; false when nothing is kept or it cannot be read.
bool RememberedEncryption() noexcept;
// Keeps the check box's state for the next start. A choice that cannot be kept (a profile
// without a writable configuration folder) is dropped without a word: the box then starts
// unchecked, and nothing of the user's files depends on it.
void RememberEncryption(bool encrypt) noexcept;

}  // namespace kestravuna
