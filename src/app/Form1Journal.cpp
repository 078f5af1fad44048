#include "app/Form1.h"

#include "printer/Journal.h"
#include "printer/JournalWriter.h"
#include "printer/PortRefusals.h"
#include "printer/PrinterLink.h"
#include "serial/VaComm.h"

#include <QLabel>

#include <cstdio>

void TForm1::RecordJob(const QString& command, JobResult result) noexcept
{
    // The handler goes on whatever happens here: the journal is a record, not part of the flow.
    try {
        JobRecord record;
        record.Command = command;
        record.Time = QDateTime::currentDateTime();
        // A command sent with no port open went nowhere: no port is named then.
        if (puerto->Active()) {
            record.Port = QStringLiteral("COM%1").arg(puerto->PortNum());
            record.Device = DevicePathOfCom(record.Port);
        }
        record.Serial = lbserial->text();
        record.Result = ResultName(result);
        record.Reply = link->Reply();
        if (!journalWriter)
            journalWriter = new TJournalWriter(this);
        journalWriter->Add(Journal::DefaultPath(), record);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "orvalen: this %s was not recorded in the journal: %s\n",
                     qPrintable(command), error.what());
    }
}
