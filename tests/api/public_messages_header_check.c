/* The message-sink header compiles as plain C on its own, as the SDK header does. */
#include "NivexaMessages.h"

int nivexa_public_messages_header_check(void) {
  NivexaMsg message = {0};
  return (int)message.message + NIVEXA_MSG_CAPACITY;
}
