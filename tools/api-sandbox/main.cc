// api-sandbox: serves the web API's three endpoints on 127.0.0.1:8000 (the agent's
// debug base URL) for trying the agent out. See --help.
#include <httplib.h>

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>

#include "sandbox.h"

namespace {

using quorbin::sandbox::Answer;
using quorbin::sandbox::Sandbox;
using quorbin::sandbox::SandboxOptions;

constexpr const char* kUsage =
    "usage: api-sandbox [options]\n"
    "  --port N             port on 127.0.0.1 (default 8000)\n"
    "  --store DIR          folder for what is received (default ./sandbox-received)\n"
    "  --token TEXT         the token the login hands out (default sandbox-token)\n"
    "  --fail-every N       answer every Nth upload with 500\n"
    "  --refuse-number N    answer the invoice with number N with 500 (repeatable)\n"
    "  --refuse-login       answer the login with 500\n";

httplib::Server* running_server = nullptr;

void Stop(int) {
  if (running_server) running_server->stop();
}

SandboxOptions ParseOptions(int argc, char** argv) {
  SandboxOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::cerr << flag << " needs a value\n" << kUsage;
        std::exit(2);
      }
      return argv[++i];
    };
    if (flag == "--port") {
      options.port = std::stoi(value());
    } else if (flag == "--store") {
      options.store = value();
    } else if (flag == "--token") {
      options.token = value();
    } else if (flag == "--fail-every") {
      options.fail_every = std::stoi(value());
    } else if (flag == "--refuse-number") {
      options.refused_numbers.insert(value());
    } else if (flag == "--refuse-login") {
      options.refuse_login = true;
    } else {
      std::cerr << kUsage;
      std::exit(flag == "--help" ? 0 : 2);
    }
  }
  return options;
}

void Reply(httplib::Response& response, const Answer& answer) {
  response.status = answer.status;
  response.set_content(answer.body, answer.content_type.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  Sandbox sandbox(ParseOptions(argc, argv));
  std::filesystem::create_directories(sandbox.options().store);

  httplib::Server server;
  // The library's default (SO_REUSEPORT alone) cannot bind while connections of
  // an earlier server on the port linger in TIME_WAIT, as they do for a minute
  // after the end-to-end tests; it would also let a second sandbox share the port.
  server.set_socket_options([](socket_t socket) {
    int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  server.Post("/api/pdv/login/", [&](const httplib::Request& request, httplib::Response& response) {
    Reply(response, sandbox.Login(request.body));
  });
  server.Post(
      "/api/pdv/receive/", [&](const httplib::Request& request, httplib::Response& response) {
        Reply(response,
              sandbox.ReceiveInvoice(request.get_header_value("Authorization"), request.body));
      });
  server.Post("/api/movimento/import_fechamento/", [&](const httplib::Request& request,
                                                       httplib::Response& response) {
    Reply(response, sandbox.ImportClosing(request.get_header_value("Authorization"), request.body));
  });

  running_server = &server;
  std::signal(SIGTERM, Stop);
  std::signal(SIGINT, Stop);
  std::cout << "api-sandbox listening on http://" << sandbox.options().host << ":"
            << sandbox.options().port << "/api/, storing in " << sandbox.options().store.string()
            << std::endl;
  if (!server.listen(sandbox.options().host, sandbox.options().port)) {
    std::cerr << "api-sandbox: cannot listen on port " << sandbox.options().port << "\n";
    return 1;
  }
  return 0;
}
