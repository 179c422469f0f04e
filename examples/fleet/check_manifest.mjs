// Validates the fleet's Kubernetes Job against the Kubernetes schema with
// the npm package kubernetes-models; the first complaint fails the check.
import { readFileSync } from "node:fs";
import { parse } from "yaml";
import { Job } from "kubernetes-models/batch/v1/Job";

const job = new Job(parse(readFileSync(process.argv[2], "utf8")));
job.validate();
console.log(`${process.argv[2]}: a valid ${job.apiVersion} ${job.kind}`);
