// The roles that edit the receiver's SNMPv3 users in the settings store and
// show its engine ID, for the console:
//
//   tarnow -user add NAME [-a AUTH -A PASSWORD] [-x PRIV -X PASSWORD] [-e ENGINEID]
//   tarnow -user delete NAME
//   tarnow -user list
//   tarnow -engineid
//
// AUTH is MD5, SHA, SHA-224, SHA-256, SHA-384 or SHA-512; PRIV is DES,
// AES-128 (also AES), AES-192, AES-256, AES-192C or AES-256C, either case.
// "add" replaces a user of the same name. "list" prints one line per user:
// name, AUTH, PRIV ("-" for none) and engine ID ("*": every engine), never a
// password. Each returns the process's exit status: 0 on success, 1 after
// printing what was wrong and the usage.
#pragma once

// `args` are the arguments after "-user".
int run_user_command(int count, char** args);
// Prints the receiver's engine ID in hex, making and storing it when there is none.
int print_engine_id();
