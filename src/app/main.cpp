#include "app/Application.h"

int main(int argc, char* argv[]) {
    orvi::app::Application application;
    return application.run(argc, argv);
}
