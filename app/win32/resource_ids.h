// The numbers of the program's resources, shared by kestravuna.rc and the code.
#pragma once

#define IDI_KESTRAVUNA 1
#define IDB_LOGO 101
#define IDB_TITLE 102
#define IDB_PROTECT 103
#define IDB_RESTORE 104
#define IDB_INFORMATION 105
#define IDB_QUIT 106
#define IDB_CANCEL 107
#define IDB_CLOSE 108
#define IDB_OK 109
