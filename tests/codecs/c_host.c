/* A plain C host without Qt: GetCoderInfor returns 1, writes the report to
 * the library's log and prints it on standard output. */
#include "sonvox.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

int main(void)
{
    char dir[] = "/tmp/ormid-codecs-XXXXXX";
    char logp[64];
    char text[65536];
    size_t n;
    FILE* f;
    int ok;

    if (!mkdtemp(dir))
        return 2;
    snprintf(logp, sizeof logp, "%s/Audio.log", dir);
    /* Without a sound device Audio_Init fails after opening the log. */
    (void)Audio_Init(0, logp, 0);
    ok = GetCoderInfor() == 1;
    Audio_Release();

    f = fopen(logp, "rb");
    n = f ? fread(text, 1, sizeof text - 1, f) : 0;
    if (f)
        fclose(f);
    text[n] = 0;
    ok = ok && strstr(text, " ACM version: ") != NULL && strstr(text, " ENABLED DRIVERS :\r\n") != NULL &&
         strstr(text, " Driver ID: ") != NULL;
    if (!ok)
        fprintf(stderr, "log:\n%s\n", text);
    remove(logp);
    rmdir(dir);
    return ok ? 0 : 1;
}
