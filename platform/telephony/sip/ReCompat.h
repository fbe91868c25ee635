#pragma once

// libre's headers want their platform defines, as libre's own build gives them.

#ifndef HAVE_INTTYPES_H
#define HAVE_INTTYPES_H 1
#endif
#ifndef HAVE_STDBOOL_H
#define HAVE_STDBOOL_H 1
#endif
#ifndef HAVE_INET6
#define HAVE_INET6 1
#endif
