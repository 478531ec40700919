/* A switch's command line on libcli, for the real-server tools: one process
 * per connection, `Username: ` and `Password: ` login, `enable` with its own
 * password, `configure terminal`, `show running-config` from a file, and the
 * questions that `reload` and `copy running-config startup-config` ask.
 *
 * usage: device_cli PORT CONFIG [BANNER]
 * The account comes from the environment: DEVICE_USER, DEVICE_PASSWORD and
 * DEVICE_ENABLE, so no password stands on a command line.
 * Listens on 127.0.0.1 only.
 */
#define _POSIX_C_SOURCE 200809L
#include <arpa/inet.h>
#include <libcli.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

static const char *config_path;
static const char *user, *password, *enable_password;
/* One process per connection: these belong to its session alone. */
static int session_fd = -1;
static int modified;

static int check_login(const char *name, const char *given) {
  return strcmp(name, user) == 0 && strcmp(given, password) == 0 ? CLI_OK : CLI_ERROR;
}

/* libcli takes a login callback's CLI_OK, but any non-zero from an enable callback, as a yes. */
static int check_enable(const char *given) { return strcmp(given, enable_password) == 0; }

/* libcli reads its commands itself; a question inside a command reads the
 * answer here, echoing it as libcli would, up to CR (LF alone is ignored,
 * as libcli does). Telnet commands are skipped. */
static int ask(struct cli_def *cli, const char *question, char *answer, size_t size) {
  size_t length = 0;
  unsigned char c;
  int skip = 0;
  fputs(question, cli->client);
  fflush(cli->client);
  while (read(session_fd, &c, 1) == 1) {
    if (skip > 0) { /* the rest of IAC WILL/WONT/DO/DONT x */
      skip = (skip == 2 && c >= 251 && c <= 254) ? 1 : 0;
      continue;
    }
    if (c == 255) {
      skip = 2;
    } else if (c == '\r') {
      /* Take the LF or NUL that follows CR now: a session that ends on this
       * answer closes with nothing unread, so its last words are not reset away. */
      if (recv(session_fd, &c, 1, MSG_PEEK | MSG_DONTWAIT) == 1 && (c == '\n' || c == '\0'))
        (void)!read(session_fd, &c, 1);
      answer[length] = '\0';
      fputs("\r\n", cli->client);
      fflush(cli->client);
      return 0;
    } else if (c >= ' ' && c < 127 && length + 1 < size) {
      answer[length++] = (char)c;
      fputc(c, cli->client);
      fflush(cli->client);
    }
  }
  return -1;
}

static int show_running_config(struct cli_def *cli, const char *command, char *argv[], int argc) {
  char line[1024];
  FILE *f = fopen(config_path, "r");
  (void)command, (void)argv, (void)argc;
  if (!f) {
    cli_print(cli, "%% Cannot read the configuration");
    return CLI_ERROR;
  }
  cli_print(cli, "Building configuration...");
  cli_print(cli, "%s", "");
  while (fgets(line, sizeof line, f)) {
    line[strcspn(line, "\n")] = '\0';
    cli_print(cli, "%s", line);
  }
  fclose(f);
  return CLI_OK;
}

static int show_version(struct cli_def *cli, const char *command, char *argv[], int argc) {
  (void)command, (void)argv, (void)argc;
  cli_print(cli, "sw1 test switch software, Version 1.0 (libcli %d.%d)", LIBCLI_VERSION_MAJOR,
            LIBCLI_VERISON_MINOR);
  cli_print(cli, "sw1 uptime is 1 day, 2 hours, 3 minutes");
  return CLI_OK;
}

static int hostname(struct cli_def *cli, const char *command, char *argv[], int argc) {
  (void)command;
  if (argc != 1) {
    cli_print(cli, "%% Incomplete command.");
    return CLI_ERROR;
  }
  cli_set_hostname(cli, argv[0]);
  modified = 1;
  return CLI_OK;
}

/* Any other configuration line is taken as given. */
static int config_line(struct cli_def *cli, const char *command, char *argv[], int argc) {
  (void)cli, (void)command, (void)argv, (void)argc;
  modified = 1;
  return CLI_OK;
}

static int end(struct cli_def *cli, const char *command, char *argv[], int argc) {
  (void)command, (void)argv, (void)argc;
  cli_set_configmode(cli, MODE_EXEC, NULL);
  return CLI_OK;
}

static int save(struct cli_def *cli) {
  cli_print(cli, "Building configuration...");
  cli_print(cli, "[OK]");
  modified = 0;
  return CLI_OK;
}

static int copy_run_start(struct cli_def *cli, const char *command, char *argv[], int argc) {
  char answer[128];
  (void)command, (void)argv, (void)argc;
  if (ask(cli, "Destination filename [startup-config]? ", answer, sizeof answer) < 0) return CLI_QUIT;
  if (answer[0] && strcmp(answer, "startup-config") != 0) {
    cli_print(cli, "%%Error opening %s (Permission denied)", answer);
    return CLI_ERROR;
  }
  return save(cli);
}

static int reload(struct cli_def *cli, const char *command, char *argv[], int argc) {
  char answer[128];
  (void)command, (void)argv, (void)argc;
  while (modified) {
    if (ask(cli, "System configuration has been modified. Save? [yes/no]: ", answer, sizeof answer) < 0)
      return CLI_QUIT;
    if (strcmp(answer, "yes") == 0 || strcmp(answer, "y") == 0) {
      save(cli);
    } else if (strcmp(answer, "no") == 0 || strcmp(answer, "n") == 0) {
      break;
    } else {
      cli_print(cli, "%% Please answer 'yes' or 'no'.");
    }
  }
  if (ask(cli, "Proceed with reload? [confirm]", answer, sizeof answer) < 0) return CLI_QUIT;
  if (answer[0] && answer[0] != 'y' && answer[0] != 'Y') return CLI_OK;
  cli_print(cli, "Reloading...");
  return CLI_QUIT;
}

static char *read_file(const char *path) {
  FILE *f = fopen(path, "r");
  char *text;
  long size;
  if (!f || fseek(f, 0, SEEK_END) != 0 || (size = ftell(f)) < 0 || fseek(f, 0, SEEK_SET) != 0) {
    perror(path);
    exit(1);
  }
  text = calloc(1, (size_t)size + 1);
  if (!text || fread(text, 1, (size_t)size, f) != (size_t)size) {
    perror(path);
    exit(1);
  }
  fclose(f);
  return text;
}

static struct cli_def *make_cli(const char *banner) {
  struct cli_def *cli = cli_init();
  struct cli_command *show, *copy, *running;
  cli_set_hostname(cli, "sw1");
  if (banner) cli_set_banner(cli, banner);
  cli_set_auth_callback(cli, check_login);
  cli_set_enable_callback(cli, check_enable);
  show = cli_register_command(cli, NULL, "show", NULL, PRIVILEGE_UNPRIVILEGED, MODE_EXEC, "Show information");
  cli_register_command(cli, show, "version", show_version, PRIVILEGE_UNPRIVILEGED, MODE_EXEC, "Software version");
  cli_register_command(cli, show, "running-config", show_running_config, PRIVILEGE_PRIVILEGED, MODE_EXEC,
                       "Current configuration");
  copy = cli_register_command(cli, NULL, "copy", NULL, PRIVILEGE_PRIVILEGED, MODE_EXEC, "Copy a configuration");
  running = cli_register_command(cli, copy, "running-config", NULL, PRIVILEGE_PRIVILEGED, MODE_EXEC, "From");
  cli_register_command(cli, running, "startup-config", copy_run_start, PRIVILEGE_PRIVILEGED, MODE_EXEC, "To");
  cli_register_command(cli, NULL, "reload", reload, PRIVILEGE_PRIVILEGED, MODE_EXEC, "Restart the switch");
  cli_register_command(cli, NULL, "hostname", hostname, PRIVILEGE_PRIVILEGED, MODE_CONFIG, "Set the host name");
  cli_register_command(cli, NULL, "interface", config_line, PRIVILEGE_PRIVILEGED, MODE_CONFIG, "Interface");
  cli_register_command(cli, NULL, "description", config_line, PRIVILEGE_PRIVILEGED, MODE_CONFIG, "Description");
  cli_register_command(cli, NULL, "end", end, PRIVILEGE_PRIVILEGED, MODE_CONFIG, "Leave configuration mode");
  return cli;
}

int main(int argc, char *argv[]) {
  struct sockaddr_in address;
  const char *banner;
  int listener, on = 1;
  if (argc < 3 || argc > 4) {
    fprintf(stderr, "usage: %s PORT CONFIG [BANNER]\n", argv[0]);
    return 2;
  }
  config_path = argv[2];
  banner = argc == 4 ? read_file(argv[3]) : NULL;
  user = getenv("DEVICE_USER");
  password = getenv("DEVICE_PASSWORD");
  enable_password = getenv("DEVICE_ENABLE");
  if (!user || !password || !enable_password) {
    fprintf(stderr, "%s: DEVICE_USER, DEVICE_PASSWORD and DEVICE_ENABLE must be set\n", argv[0]);
    return 2;
  }
  signal(SIGCHLD, SIG_IGN); /* no zombies from ended sessions */
  memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons((unsigned short)atoi(argv[1]));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  listener = socket(AF_INET, SOCK_STREAM, 0);
  if (listener < 0 || setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) < 0 ||
      bind(listener, (struct sockaddr *)&address, sizeof address) < 0 || listen(listener, 16) < 0) {
    perror("listen");
    return 1;
  }
  for (;;) {
    int fd = accept(listener, NULL, NULL);
    if (fd < 0) continue;
    if (fork() == 0) {
      struct cli_def *cli;
      close(listener);
      session_fd = fd;
      cli = make_cli(banner);
      cli_loop(cli, fd);
      cli_done(cli);
      _exit(0);
    }
    close(fd);
  }
}
