#pragma once

#define IDI_RAMPTIDE 100
#define IDS_APP_TITLE 101
