#pragma once

// Shared by the update's codeplug stage, its rewrites and the codeplug commands.

// The progress bar steps every 150 ms while a codeplug is read (its length is not known ahead)
// and at a pace set by its length while one is written.
inline constexpr int kUploadProgressMs = 150;
inline constexpr double kDownloadProgressMsPerByte = 0.015;

// The serial number (the access code that seeds the write's keystream) is asked again this
// often: a write with no code would be scrambled with zeros and stored as garbage.
inline constexpr int kAccessCodeAttempts = 3;
