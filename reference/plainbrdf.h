// The reflectance as its formula reads, every term formed on every call:
// the reference PhongBRDF and PhongBRDFAtCosine are checked against. Only
// tests and benchmarks link it.
#pragma once

// kd/pi + ks (n + 2) |cos angle|^n / (2 pi); 0 when kd + ks > 1.
float PlainPhongBRDF(float kd, float ks, float angle, float n);

// PlainPhongBRDF at the angle |acos cosine|, the cosine clamped to -1 .. 1.
float PlainPhongBRDFAtCosine(float kd, float ks, float cosine, float n);
