#pragma once
// The sound event that comes with each announcement of new requests, in the
// user's sound scheme, where the Sound settings list it under Morvane.

// Registers the event where it is missing; never overwrites a value that is
// there, so a sound the user chose (or "none") stays.
void RegisterNewRequestSound();
// Starts the event's sound and returns at once; plays nothing when the
// event is set to none or its file is missing.
void PlayNewRequestSound();
