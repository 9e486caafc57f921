/* The part of Microsoft's C runtime that a program built with MSVC gets linked in statically
 * and that Debian does not have: the console entry point, which hands the command line to main
 * and exits with its result, and the printf family, which Microsoft's headers define inline
 * over the Universal C Runtime's (ucrtbase.dll) common functions. The package's MSVC-ABI test
 * build links the sample host with this and with ucrtbase.dll, as an MSVC build would. */
#include <stdarg.h>
#include <stddef.h>

typedef struct _iobuf FILE;
typedef void* locale_handle;

__declspec(dllimport) int __cdecl _configure_narrow_argv(int mode);
__declspec(dllimport) int* __cdecl __p___argc(void);
__declspec(dllimport) char*** __cdecl __p___argv(void);
__declspec(dllimport) __declspec(noreturn) void __cdecl exit(int status);
__declspec(dllimport) FILE* __cdecl __acrt_iob_func(unsigned index);
__declspec(dllimport) int __cdecl __stdio_common_vfprintf(unsigned long long options, FILE* stream,
                                                          const char* format, locale_handle locale,
                                                          va_list args);
__declspec(dllimport) int __cdecl __stdio_common_vsprintf(unsigned long long options, char* buffer,
                                                          size_t size, const char* format,
                                                          locale_handle locale, va_list args);

/* snprintf returns the length it needed, as C99 says, not -1 when the text was cut. */
#define STANDARD_SNPRINTF_BEHAVIOR 2ULL
#define UNEXPANDED_ARGUMENTS 1

/* Tells the linker that the program uses floating point. */
int _fltused = 0;

int main(int argc, char** argv);

void mainCRTStartup(void) {
  _configure_narrow_argv(UNEXPANDED_ARGUMENTS);
  exit(main(*__p___argc(), *__p___argv()));
}

int __cdecl printf(const char* format, ...) {
  va_list args;
  int result;
  va_start(args, format);
  result = __stdio_common_vfprintf(0, __acrt_iob_func(1), format, NULL, args);
  va_end(args);
  return result;
}

int __cdecl snprintf(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  int result;
  va_start(args, format);
  result = __stdio_common_vsprintf(STANDARD_SNPRINTF_BEHAVIOR, buffer, size, format, NULL, args);
  va_end(args);
  return result;
}
