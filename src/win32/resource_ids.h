// Resource identifiers shared by the resource script and the code.
#pragma once

#define VELKON_IDI_APP 1
