/* station.h -- readings and settings of the weather station logger. */
#ifndef STATION_H
#define STATION_H

#define STATION_MAX_PATH 256

struct reading {
    long time;          /* seconds since the epoch */
    double temperature; /* degrees Celsius */
    int humidity;       /* percent */
    double pressure;    /* hectopascal */
};

struct settings {
    char port[STATION_MAX_PATH];
    char log_folder[STATION_MAX_PATH];
    int interval;       /* seconds between readings */
};

int load_settings(const char *path, struct settings *out);
int read_sensors(const struct settings *s, struct reading *out);
int append_reading(const struct settings *s, const struct reading *r);

#endif
