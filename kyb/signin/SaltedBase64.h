#pragma once
// Values the account service enciphers with the salted password-based format of the openssl enc command
// (AES-256-CBC, MD5 key derivation, one iteration, 8-byte salt), base64 encoded.

#include <string>

// Deciphers cipherText with passphrase into *out. False on a null or empty input, input shorter than the header
// and salt, or a failed decryption (wrong passphrase, bad padding); *out is then left unchanged.
bool decryptSaltedBase64(const char* cipherText, const char* passphrase, std::string* out);
