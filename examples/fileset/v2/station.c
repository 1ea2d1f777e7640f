/* station.c -- reads the sensors and appends one log line per reading. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "station.h"

static void trim(char *text)
{
    size_t n = strlen(text);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == ' '))
        text[--n] = '\0';
}

int load_settings(const char *path, struct settings *out)
{
    char line[512];
    FILE *f = fopen(path, "r");
    if (f == NULL)
        return -1;
    memset(out, 0, sizeof *out);
    out->interval = 60;
    strcpy(out->port, "/dev/ttyUSB0");
    while (fgets(line, sizeof line, f) != NULL) {
        char *value = strchr(line, '=');
        if (line[0] == '#' || value == NULL)
            continue;
        *value++ = '\0';
        trim(value);
        if (strcmp(line, "port") == 0)
            strncpy(out->port, value, sizeof out->port - 1);
        else if (strcmp(line, "logs") == 0)
            strncpy(out->log_folder, value, sizeof out->log_folder - 1);
        else if (strcmp(line, "interval") == 0)
            out->interval = atoi(value);
    }
    fclose(f);
    return 0;
}

int read_sensors(const struct settings *s, struct reading *out)
{
    char answer[128];
    FILE *port = fopen(s->port, "r+");
    if (port == NULL)
        return -1;
    fputs("READ\n", port);
    if (fgets(answer, sizeof answer, port) == NULL) {
        fclose(port);
        return -1;
    }
    fclose(port);
    out->time = (long)time(NULL);
    if (sscanf(answer, "%lf %d %lf %lf", &out->temperature, &out->humidity,
               &out->pressure, &out->wind) != 4)
        return -1;
    if (out->humidity < 0 || out->humidity > 100)
        return -1; /* a garbled answer from the board */
    return 0;
}

int append_reading(const struct settings *s, const struct reading *r)
{
    char path[STATION_MAX_PATH + 32];
    char stamp[32];
    time_t t = (time_t)r->time;
    FILE *log;
    strftime(stamp, sizeof stamp, "%Y-%m-%d", localtime(&t));
    snprintf(path, sizeof path, "%s/%s.log", s->log_folder, stamp);
    log = fopen(path, "a");
    if (log == NULL)
        return -1;
    strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M", localtime(&t));
    fprintf(log, "%s\t%.1f\t%d\t%.1f\t%.1f\n", stamp, r->temperature,
            r->humidity, r->pressure, r->wind);
    fclose(log);
    return 0;
}

int main(int argc, char **argv)
{
    struct settings s;
    struct reading r;
    if (argc != 2 || load_settings(argv[1], &s) != 0) {
        fprintf(stderr, "usage: station SETTINGS-FILE\n");
        return 2;
    }
    for (;;) {
        if (read_sensors(&s, &r) != 0)
            fprintf(stderr, "station: no reading from %s\n", s.port);
        else if (append_reading(&s, &r) != 0)
            fprintf(stderr, "station: cannot write to %s\n", s.log_folder);
        sleep(s.interval);
    }
}
