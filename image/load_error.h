// Why a picture could not be loaded, for a message in a user's words.
#pragma once

enum class LoadError {
    none,           // loaded
    unreadable,     // the file could not be opened or read (missing, a folder, no permission)
    not_a_picture,  // not a kind of picture this program reads
    damaged,        // damaged or cut short
    too_large,      // larger than a picture this program can hold
    no_decoder,     // a kind of picture this system has no decoder for
};
