/* A host written in C, as a launcher's would be: it publishes a document file through the host
 * kit's C interface and keeps the block open until a line (or the end) arrives on standard
 * input. On the way it checks the interface's refusals. Built as C, natively and for Windows.
 *
 *   feed_c_client BLOCK_NAME DOCUMENT_FILE IPC_WINDOW_HEX
 *
 * The document is padded with spaces to the largest size the block takes, which is what it
 * publishes. Prints "published VERSION" once the document is in the block; exit code 0 when
 * every call did what the header says, 1 otherwise (with one line on standard error). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "src/kit/corvane_feed.h"

static int Fail(const char* what, const corvane_feed* feed) {
  fprintf(stderr, "feed_c_client: %s: %s\n", what, corvane_feed_last_message(feed));
  return 1;
}

/* Reads at most CORVANE_FEED_MAX_DOCUMENT_SIZE + 1 bytes of the file; -1 when it cannot. */
static long ReadDocument(const char* path, char* buffer, size_t capacity) {
  FILE* file = fopen(path, "rb");
  size_t length;
  if (file == NULL) return -1;
  length = fread(buffer, 1, capacity, file);
  fclose(file);
  return (long)length;
}

int main(int argc, char** argv) {
  static char document[CORVANE_FEED_MAX_DOCUMENT_SIZE + 1];
  corvane_feed* feed = NULL;
  long length;
  unsigned long ipc_window;
  char line[64];
  int result;

  if (argc != 4) {
    fputs("usage: feed_c_client BLOCK_NAME DOCUMENT_FILE IPC_WINDOW_HEX\n", stderr);
    return 2;
  }
  ipc_window = strtoul(argv[3], NULL, 16);
  length = ReadDocument(argv[2], document, sizeof document);
  if (length <= 0) {
    fprintf(stderr, "feed_c_client: cannot read %s\n", argv[2]);
    return 1;
  }
  if (corvane_feed_interface_version() != CORVANE_FEED_INTERFACE_VERSION) {
    fprintf(stderr, "feed_c_client: the library has interface %d, the header %d\n",
            corvane_feed_interface_version(), CORVANE_FEED_INTERFACE_VERSION);
    return 1;
  }
  if (corvane_feed_open(argv[1], NULL) != CORVANE_FEED_BAD_ARGUMENT) {
    return Fail("open without a place for the handle was not refused", NULL);
  }
  if (strstr(corvane_feed_last_message(NULL), "handle is NULL") == NULL) {
    return Fail("the message of a NULL handle does not say so", NULL);
  }

  if (corvane_feed_open(argv[1], &feed) != CORVANE_FEED_OK) return Fail("open", feed);
  /* Refusals: nothing is published, and the message says why. */
  if (corvane_feed_publish(feed, NULL, 10, 1, 0) != CORVANE_FEED_BAD_ARGUMENT ||
      corvane_feed_last_message(feed)[0] == '\0') {
    result = Fail("a missing document was not refused", feed);
    corvane_feed_close(feed);
    return result;
  }
  memset(document + length, ' ', sizeof document - (size_t)length);
  if (corvane_feed_publish(feed, document, sizeof document, 1, 0) != CORVANE_FEED_TOO_LARGE ||
      strstr(corvane_feed_last_message(feed), "4096") == NULL) {
    result = Fail("a document of 4097 bytes was not refused", feed);
    corvane_feed_close(feed);
    return result;
  }

  /* The same document of exactly CORVANE_FEED_MAX_DOCUMENT_SIZE bytes: the largest one taken. */
  if (corvane_feed_publish(feed, document, CORVANE_FEED_MAX_DOCUMENT_SIZE, 1,
                           (uint32_t)ipc_window) != CORVANE_FEED_OK) {
    result = Fail("publish of the largest document", feed);
    corvane_feed_close(feed);
    return result;
  }
  if (corvane_feed_last_message(feed)[0] != '\0') {
    printf("note: %s\n", corvane_feed_last_message(feed));
  }
  printf("published %s\n", corvane_feed_version());
  fflush(stdout);

  /* On Windows the block lives while it is open: hold it until told to stop. */
  if (fgets(line, sizeof line, stdin) == NULL) line[0] = '\0';
  corvane_feed_close(feed);
  return 0;
}
