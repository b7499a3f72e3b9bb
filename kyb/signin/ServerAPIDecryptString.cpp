#include "kyb/account/ServerAPI.h"
#include "kyb/signin/SaltedBase64.h"

std::string ServerAPI::decryptString(std::string cipherText, std::string passphrase)
{
    std::string out;
    decryptSaltedBase64(cipherText.c_str(), passphrase.c_str(), &out);
    return out;
}
