#pragma once
// Makes sure AccountState holds a usable auth token: from the saved sign-in file kyb.dat, or from the login dialog,
// whose enciphered values are then deciphered and saved for the next start.

#include <QString>
#include <string>

// mode 0: start-up; 1: start-up of a silent mode (the dialog stays on top of other windows); 2: the service refused
// the current token (kyb.dat is not tried and a known login is locked). 1 when a token is in AccountState, 0 when
// the user cancelled the dialog (kyb.dat is then removed).
int signIn(int mode);

// True when kyb.dat gave a non-empty token. AccountState is left unchanged when the file cannot be opened.
bool loadSavedLogin();

// Runs LoginDialog modally; when it is accepted, *login gets the dialog's login. 0 accepted, 1 rejected.
int runLoginDialog(std::string machineIdentifier, QString* login, int mode);

// appDataPath() + "kyb.dat".
QString savedLoginPath();
