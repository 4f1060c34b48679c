// report_driver FOLDER: makes the report tests' dataset in FOLDER/Res_Data through whole runs on the
// test host (see report_dataset.h), for the browser test to make a page of.
#include <iostream>

#include "report_dataset.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: report_driver FOLDER\n";
        return 2;
    }
    pelorin::test::MakeReportDataset(argv[1]);
    std::cout << argv[1] << "/Res_Data\n";
    return 0;
}
