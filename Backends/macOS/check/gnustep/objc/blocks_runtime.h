// GNUstep's headers look for the blocks runtime here; Debian has it as <Block.h>.
#pragma once
#include <Block.h>
