#pragma once

namespace netrefit {

// True only when the file's digest text from CheckMD5 equals expectedMd5 exactly
// (case-sensitive). Any failure of CheckMD5 leaves an empty text, which never matches
// a non-empty expected digest.
bool VerifyFileDigest(const char* path, const char* expectedMd5);

}  // namespace netrefit
